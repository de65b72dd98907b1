#include "ScsTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::mutex g_traceMutex;
std::vector<std::pair<uint32_t, std::string>> g_trace;

}  // namespace

CTempDir::CTempDir() {
    std::string strTemplate = (std::filesystem::temp_directory_path() / "scs_test_XXXXXX").string();
    m_strPath = mkdtemp(strTemplate.data()) != nullptr ? strTemplate : "";
}

CTempDir::~CTempDir() {
    std::error_code error;
    std::filesystem::remove_all(m_strPath, error);
}

std::string CTempDir::Write(const std::string& strName, const std::string& strText) const {
    std::ofstream(Path(strName), std::ios::trunc) << strText;
    return Path(strName);
}

std::string ReadFile(const std::string& strPath) {
    std::ostringstream text;
    text << std::ifstream(strPath).rdbuf();
    return text.str();
}

std::string Take(char* pText) {
    std::string strText = pText != nullptr ? pText : "<null>";
    SCS_Free(pText);
    return strText;
}

int RefusedPort() {
    const int iSocket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t uLength = sizeof(address);
    bind(iSocket, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    getsockname(iSocket, reinterpret_cast<sockaddr*>(&address), &uLength);
    close(iSocket);
    return ntohs(address.sin_port);
}

CTestServer::CTestServer() { m_server.set_keep_alive_timeout(1); }

CTestServer::~CTestServer() {
    Release();
    m_server.stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CTestServer::Start() {
    m_iPort = m_server.bind_to_any_port("127.0.0.1");
    ASSERT_GT(m_iPort, 0);
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
}

void CTestServer::Record(const httplib::Request& request) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back({request.path, request.get_header_value("Content-Type"),
                          request.get_header_value("Accept-Language"), request.body});
    m_changed.notify_all();
}

void CTestServer::Hang(const httplib::Request& request) {
    Record(request);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_bReleased; });
}

void CTestServer::Release() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bReleased = true;
    m_changed.notify_all();
}

bool CTestServer::WaitForRequests(size_t n) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::seconds(10),
                              [&] { return m_requests.size() >= n; });
}

std::vector<CTestServer::SRequest> CTestServer::Requests() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void CScsTest::SetUp() {
    {
        std::lock_guard<std::mutex> lock(g_traceMutex);
        g_trace.clear();
    }
    ASSERT_EQ(SCS_Init("5.9", "scs_tests", nullptr, &m_log), 0u);
}

void CScsTest::TearDown() { EXPECT_EQ(SCS_ShutDown(), 0u); }

int32_t CScsTest::AddDestination(const std::string& strLocal, const std::string& strComm) {
    const std::string strIndex = std::to_string(++m_iFiles);
    int32_t iId = -1;
    EXPECT_EQ(
        SCS_AddDestinationFiles(m_dir.Write("local" + strIndex + ".ini", strLocal).c_str(),
                                m_dir.Write("comm" + strIndex + ".ini", strComm).c_str(), &iId),
        0u);
    return iId;
}

std::string CScsTest::CommWithServers(const std::vector<std::string>& servers) {
    std::string strText = "[servers]\n";
    for (const auto& strUrl : servers) {
        strText += "url = " + strUrl + "\n";
    }
    return strText;
}

bool CScsTest::Logged(uint32_t uLevel, const std::string& strPart) {
    std::lock_guard<std::mutex> lock(g_traceMutex);
    for (const auto& line : g_trace) {
        if (line.first == uLevel && line.second.find(strPart) != std::string::npos) {
            return true;
        }
    }
    return false;
}

int32_t CScsTest::Trace(uint32_t, uint32_t level, const char* message, const char*) {
    std::lock_guard<std::mutex> lock(g_traceMutex);
    g_trace.emplace_back(level, message);
    return 0;
}
