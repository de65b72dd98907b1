// Helpers of the component's tests: a scratch directory, local HTTP(S) servers, and a fixture that
// initialises the component with a trace log that records every line.
#ifndef ZAV_SCS_TEST_SUPPORT_H
#define ZAV_SCS_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <future>
#include <tuple>
#include <vector>

#include "ScsEntryPoints.h"
#include "TestServer.h"  // also the other standard, socket and OpenSSL headers the tests use
#include "services/TraceCapture.h"
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

// A TCP socket bound to 127.0.0.1 at a port of the system's choosing.
inline int BoundSocket(int& iPort) {
    const int iSocket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t uLength = sizeof(address);
    bind(iSocket, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    getsockname(iSocket, reinterpret_cast<sockaddr*>(&address), &uLength);
    iPort = ntohs(address.sin_port);
    return iSocket;
}

// A URL on 127.0.0.1 at a port that nothing listens on.
inline std::string RefusedUrl() {
    int iPort = 0;
    close(BoundSocket(iPort));
    return "http://127.0.0.1:" + std::to_string(iPort);
}

// An HTTPS server for CTestServer with a fresh self-signed certificate (so clients must not verify
// it), counting full and resumed handshakes.
struct STlsHandshakes {
    std::atomic<int> iFull{0}, iResumed{0};
};
inline std::unique_ptr<httplib::Server> TlsServer(STlsHandshakes& handshakes) {
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> pKey(EVP_EC_gen("P-256"),
                                                                   &EVP_PKEY_free);
    const std::unique_ptr<X509, decltype(&X509_free)> pCert(X509_new(), &X509_free);
    ASN1_INTEGER_set(X509_get_serialNumber(pCert.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(pCert.get()), 0);
    X509_gmtime_adj(X509_getm_notAfter(pCert.get()), 3600);
    X509_set_pubkey(pCert.get(), pKey.get());
    X509_sign(pCert.get(), pKey.get(), EVP_sha256());
    auto pServer = std::make_unique<httplib::SSLServer>(pCert.get(), pKey.get());
    SSL_CTX_set_app_data(pServer->ssl_context(), &handshakes);
    SSL_CTX_set_info_callback(pServer->ssl_context(), [](const SSL* pSsl, int iWhere, int) {
        if ((iWhere & SSL_CB_HANDSHAKE_DONE) != 0) {
            auto* pCounts =
                static_cast<STlsHandshakes*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(pSsl)));
            ++(SSL_session_reused(pSsl) ? pCounts->iResumed : pCounts->iFull);
        }
    });
    return pServer;
}

// A bare HTTP/1.1 server on 127.0.0.1 that counts TCP connections and answers the n-th request
// (over all connections) with "answer n". CLOSE_SILENTLY closes every connection after its first
// answer without a "Connection: close" (as a server whose idle timer ran out); TEAR_SECOND sends
// half the answer to the second request of a connection, then resets it.
class CRawServer {
public:
    enum EMode { KEEP_OPEN, CLOSE_SILENTLY, TEAR_SECOND };
    explicit CRawServer(EMode eMode) : m_eMode(eMode), m_iListen(BoundSocket(m_iPort)) {
        listen(m_iListen, 16);
        m_accepting = std::thread([this] {
            for (int iSocket; (iSocket = accept(m_iListen, nullptr, nullptr)) >= 0;) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_sockets.push_back(iSocket);
                m_serving.emplace_back(
                    [this, iSocket, i = m_sockets.size() - 1] { Serve(iSocket, i); });
            }
        });
    }
    ~CRawServer() {
        shutdown(m_iListen, SHUT_RDWR);
        m_accepting.join();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (const int iSocket : m_sockets) shutdown(iSocket, SHUT_RDWR);  // -1: EBADF
        }
        for (auto& thread : m_serving) thread.join();
        close(m_iListen);
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_iPort); }
    size_t Connections() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sockets.size();
    }
    // Waits until every connection is closed; false after 10 s.
    bool WaitForAllClosed() {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_closed.wait_for(lock, std::chrono::seconds(10), [&] {
            return std::count(m_sockets.begin(), m_sockets.end(), -1) ==
                   static_cast<std::ptrdiff_t>(m_sockets.size());
        });
    }

private:
    void Serve(int iSocket, size_t uIndex) {
        std::string strIn;
        for (int iOnConnection = 1; ReadRequest(iSocket, strIn); ++iOnConnection) {
            const std::string strBody = "answer " + std::to_string(++m_iRequests);
            std::string strOut =
                "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(strBody.size()) +
                "\r\n\r\n" + strBody;
            const bool bTear = m_eMode == TEAR_SECOND && iOnConnection == 2;
            if (bTear) {
                strOut.resize(strOut.size() - 4);
                const linger reset{1, 0};
                setsockopt(iSocket, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
            }
            send(iSocket, strOut.data(), strOut.size(), MSG_NOSIGNAL);
            if (bTear || m_eMode == CLOSE_SILENTLY) break;
        }
        std::lock_guard<std::mutex> lock(m_mutex);  // the number is not reused before it is marked
        close(iSocket);
        m_sockets[uIndex] = -1;
        m_closed.notify_all();
    }
    // Reads one request (headers and a Content-Length body) from strIn and the socket.
    static bool ReadRequest(int iSocket, std::string& strIn) {
        for (char buffer[4096];;) {
            const size_t uEnd = strIn.find("\r\n\r\n");
            if (uEnd != std::string::npos) {
                const size_t uLength = strIn.find("Content-Length: ");
                const size_t uSize =
                    uEnd + 4 + (uLength < uEnd ? std::stoul(strIn.substr(uLength + 16)) : 0);
                if (strIn.size() >= uSize) {
                    strIn.erase(0, uSize);
                    return true;
                }
            }
            const ssize_t iRead = recv(iSocket, buffer, sizeof(buffer), 0);
            if (iRead <= 0) return false;
            strIn.append(buffer, static_cast<size_t>(iRead));
        }
    }

    const EMode m_eMode;
    int m_iPort = 0;
    const int m_iListen;
    std::thread m_accepting;
    std::vector<std::thread> m_serving;
    std::mutex m_mutex;
    std::condition_variable m_closed;
    std::vector<int> m_sockets;  // one per connection, -1 once closed
    std::atomic<int> m_iRequests{0};
};

inline const char* const POST_PATH = "/zav/event_query_services";
inline const char* const POST_CONTENT_TYPE = "application/x-zav-cml-data; charset=UTF-8";
// The local settings of most destinations in these tests.
inline const char* const LOCAL = "[event_query_services]\nconnectTimeout = 1500\n";

struct SPost {
    uint32_t uStatus;
    std::string strResponse;  // "<null>" when no response was handed out
    uint32_t uLength;
};

inline SPost Post(int32_t iId, int32_t iServer, const std::string& strData,
                  uint32_t uTransferTimeout) {
    const uint32_t timeouts[4] = {2000, uTransferTimeout, 60000, 30000};
    char* pResponse = nullptr;
    uint32_t uLength = 99;
    const uint32_t uStatus =
        SCS_PostData(iId, iServer, POST_PATH, 0, POST_CONTENT_TYPE, strData.data(),
                     static_cast<uint32_t>(strData.size()), timeouts, &pResponse, &uLength);
    return {uStatus, Take(pResponse), uLength};
}

class CScsTest : public ::testing::Test {
protected:
    void SetUp() override {
        TraceCapture::Clear();
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
    static bool Logged(const std::string& strPart, uint32_t uLevel = EQ_TRACE_ERROR) {
        return TraceCapture::Count(strPart, uLevel) > 0;
    }

    CTempDir m_dir;
    const asTraceLog& m_log = TraceCapture::g_log;

private:
    int m_iFiles = 0;
};

#endif
