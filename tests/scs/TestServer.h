// An HTTP(S) server for tests, on 127.0.0.1 at a port of its own choosing.
#ifndef ZAV_TEST_SERVER_H
#define ZAV_TEST_SERVER_H

#include <gtest/gtest.h>

#ifndef CPPHTTPLIB_OPENSSL_SUPPORT  // the options Debian's compiled cpp-httplib was built with
#define CPPHTTPLIB_OPENSSL_SUPPORT
#define CPPHTTPLIB_ZLIB_SUPPORT
#define CPPHTTPLIB_BROTLI_SUPPORT
#endif
#include <httplib.h>  // with the standard, socket and OpenSSL headers that the tests use

#include <vector>

// Routes are added before Start. A handler can record its request and hang until the server is
// released (at the latest on destruction).
class CTestServer {
public:
    explicit CTestServer(std::unique_ptr<httplib::Server> pServer = nullptr)
        : m_pServer(pServer ? std::move(pServer) : std::make_unique<httplib::Server>()) {
        m_pServer->set_keep_alive_timeout(1);
    }
    ~CTestServer() {
        Release();
        m_pServer->stop();
        if (m_thread.joinable()) m_thread.join();
    }
    httplib::Server& Http() { return *m_pServer; }
    void Start() {
        m_iPort = m_pServer->bind_to_any_port("127.0.0.1");
        ASSERT_GT(m_iPort, 0);
        m_thread = std::thread([this] { m_pServer->listen_after_bind(); });
        while (!m_pServer->is_running()) std::this_thread::yield();  // else stop() would be lost
    }
    std::string Url() const {
        const bool bTls = dynamic_cast<httplib::SSLServer*>(m_pServer.get()) != nullptr;
        return (bTls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(m_iPort);
    }

    void Record(const httplib::Request& request, bool bHang = false) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_requests.push_back(request);
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_bReleased || !bHang; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bReleased = true;
        m_changed.notify_all();
    }
    // Waits until at least n requests arrived; false after 10 s.
    bool WaitForRequests(size_t n) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10),
                                  [&] { return m_requests.size() >= n; });
    }
    std::vector<httplib::Request> Requests() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

private:
    std::unique_ptr<httplib::Server> m_pServer;
    std::thread m_thread;
    int m_iPort = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<httplib::Request> m_requests;
    bool m_bReleased = false;
};

#endif
