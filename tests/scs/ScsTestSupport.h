// Helpers of the component's tests: a scratch directory, a local HTTP server, and a fixture that
// initialises the component with a trace log that records every line.
#ifndef ZAV_SCS_TEST_SUPPORT_H
#define ZAV_SCS_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <httplib.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ScsEntryPoints.h"
#include "zavEventQuerySvcs.h"

class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    std::string Write(const std::string& strName, const std::string& strText) const;
    std::string Path(const std::string& strName) const { return m_strPath + "/" + strName; }

private:
    std::string m_strPath;
};

std::string ReadFile(const std::string& strPath);

// Takes a text handed out by the component, releasing it with SCS_Free.
std::string Take(char* pText);

// A port on 127.0.0.1 that nothing listens on.
int RefusedPort();

// An HTTP server on 127.0.0.1 at a port of its own choosing. Routes are added before Start. Every
// request is recorded; a handler can hang until the server is released (at the latest on
// destruction).
class CTestServer {
public:
    struct SRequest {
        std::string strPath;
        std::string strContentType;
        std::string strLanguage;
        std::string strBody;
    };

    CTestServer();
    ~CTestServer();
    httplib::Server& Http() { return m_server; }
    void Start();
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_iPort); }

    void Record(const httplib::Request& request);
    // For a handler: records the request and blocks until Release.
    void Hang(const httplib::Request& request);
    void Release();
    // Waits until at least n requests arrived; false after 10 s.
    bool WaitForRequests(size_t n);
    std::vector<SRequest> Requests();

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_iPort = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<SRequest> m_requests;
    bool m_bReleased = false;
};

class CScsTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // A destination from the given file contents; fails the test if it cannot be added.
    int32_t AddDestination(const std::string& strLocal, const std::string& strComm);
    static std::string CommWithServers(const std::vector<std::string>& servers);
    bool Logged(uint32_t uLevel, const std::string& strPart);

    CTempDir m_dir;
    asTraceLog m_log{0, 0xFFFFFFFFu, &CScsTest::Trace};

private:
    static int32_t Trace(uint32_t context, uint32_t level, const char* message, const char*);
    int m_iFiles = 0;
};

#endif
