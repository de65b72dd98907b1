// Helpers of the component's tests: a scratch directory, a local HTTP server, and a fixture that
// initialises the component with a trace log that records every line.
#ifndef ZAV_SCS_TEST_SUPPORT_H
#define ZAV_SCS_TEST_SUPPORT_H

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ScsEntryPoints.h"
#include "zavEventQuerySvcs.h"

class CTempDir {
public:
    CTempDir() {
        std::string strTemplate = (std::filesystem::temp_directory_path() / "scs_XXXXXX").string();
        m_strPath = mkdtemp(strTemplate.data()) != nullptr ? strTemplate : "";
    }
    ~CTempDir() {
        std::error_code error;
        std::filesystem::remove_all(m_strPath, error);
    }
    std::string Path(const std::string& strName) const { return m_strPath + "/" + strName; }
    std::string Write(const std::string& strName, const std::string& strText) const {
        std::ofstream(Path(strName), std::ios::trunc) << strText;
        return Path(strName);
    }
    std::string Read(const std::string& strName) const {
        std::ostringstream text;
        text << std::ifstream(Path(strName)).rdbuf();
        return text.str();
    }

private:
    std::string m_strPath;
};

// Takes a text handed out by the component, releasing it with SCS_Free.
inline std::string Take(char* pText) {
    std::string strText = pText != nullptr ? pText : "<null>";
    SCS_Free(pText);
    return strText;
}

// A URL on 127.0.0.1 at a port that nothing listens on.
inline std::string RefusedUrl() {
    const int iSocket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t uLength = sizeof(address);
    bind(iSocket, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    getsockname(iSocket, reinterpret_cast<sockaddr*>(&address), &uLength);
    close(iSocket);
    return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

// An HTTP server on 127.0.0.1 at a port of its own choosing. Routes are added before Start. A
// handler can record its request and hang until the server is released (at the latest on
// destruction).
class CTestServer {
public:
    struct SRequest {
        std::string strPath, strContentType, strLanguage, strBody;
    };

    CTestServer() { m_server.set_keep_alive_timeout(1); }
    ~CTestServer() {
        Release();
        m_server.stop();
        if (m_thread.joinable()) m_thread.join();
    }
    httplib::Server& Http() { return m_server; }
    void Start() {
        m_iPort = m_server.bind_to_any_port("127.0.0.1");
        ASSERT_GT(m_iPort, 0);
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_iPort); }

    void Record(const httplib::Request& request, bool bHang = false) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_requests.push_back({request.path, request.get_header_value("Content-Type"),
                              request.get_header_value("Accept-Language"), request.body});
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
    std::vector<SRequest> Requests() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_iPort = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<SRequest> m_requests;
    bool m_bReleased = false;
};

inline std::mutex g_traceMutex;
inline std::vector<std::pair<uint32_t, std::string>> g_trace;  // level, message

class CScsTest : public ::testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard<std::mutex> lock(g_traceMutex);
            g_trace.clear();
        }
        ASSERT_EQ(SCS_Init("5.9", "scs_tests", nullptr, &m_log), 0u);
    }
    void TearDown() override { EXPECT_EQ(SCS_ShutDown(), 0u); }

    // A destination from the given file contents (localN.ini and commN.ini, N counting from 1).
    int32_t AddDestination(const std::string& strLocal, const std::string& strComm) {
        const std::string strIndex = std::to_string(++m_iFiles);
        int32_t iId = -1;
        EXPECT_EQ(
            SCS_AddDestinationFiles(m_dir.Write("local" + strIndex + ".ini", strLocal).c_str(),
                                    m_dir.Write("comm" + strIndex + ".ini", strComm).c_str(), &iId),
            0u);
        return iId;
    }
    static std::string CommWithServers(const std::vector<std::string>& servers) {
        std::string strText = "[servers]\n";
        for (const auto& strUrl : servers) strText += "url = " + strUrl + "\n";
        return strText;
    }
    // Whether a line of the level containing strPart was written.
    static bool LoggedAt(uint32_t uLevel, const std::string& strPart) {
        std::lock_guard<std::mutex> lock(g_traceMutex);
        for (const auto& line : g_trace) {
            if (line.first == uLevel && line.second.find(strPart) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
    static bool LoggedError(const std::string& strPart) {
        return LoggedAt(EQ_TRACE_ERROR, strPart);
    }

    CTempDir m_dir;
    asTraceLog m_log{0, 0xFFFFFFFFu, &CScsTest::Trace};

private:
    static int32_t Trace(uint32_t, uint32_t level, const char* message, const char*) {
        std::lock_guard<std::mutex> lock(g_traceMutex);
        g_trace.emplace_back(level, message);
        return 0;
    }
    int m_iFiles = 0;
};

#endif
