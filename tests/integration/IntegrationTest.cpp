#include "IntegrationTest.h"

#include "ThreadCount.h"

#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

namespace eqit {

void CIntegrationTest::SetUp() {
    // A local zone other than UTC, so that a conversion through local time shows.
    setenv("TZ", "EQT-5:30", 1);
    tzset();
    std::string pattern = (std::filesystem::temp_directory_path() / "eq_it_XXXXXX").string();
    ASSERT_NE(nullptr, mkdtemp(pattern.data()));
    m_dir = pattern;
    m_previousDir = std::filesystem::current_path();
    std::filesystem::current_path(m_dir);
    CJournal::Get().Clear();
    Eq().EQ_SetMSLLibPath(ZAV_IT_SCS_DIR);
    m_uThreadsAtStart = zavTest::ThreadCount();
}

void CIntegrationTest::TearDown() {
    // EQ_ShutDown returns once the object is gone and the component unloaded; an object left
    // behind would overlap the next test or race the static destructors at process exit.
    EXPECT_EQ(0u, Eq().EQ_ShutDown());
    EXPECT_FALSE(ComponentLoaded()) << "a service object was not released";
    // The dispatch thread may still be returning from its last call; let it finish.
    zavTest::WaitForThreadCount(m_uThreadsAtStart);
    if (m_previousDir.empty()) return;
    std::filesystem::current_path(m_previousDir);
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

void CIntegrationTest::WriteSettings(const std::vector<std::string>& urls,
                                     const std::string& settings) {
    std::string comm = "[servers]\n";
    for (const std::string& url : urls) comm += "url = " + url + "\n";
    comm += "[transport]\nconnect_timeout = 5000\ntransfer_timeout = 20000\n";
    m_commFile = (m_dir / "comm.ini").string();
    std::ofstream(m_commFile) << comm;
    m_localFile = (m_dir / "local.ini").string();
    std::ofstream(m_localFile) << "[event_query_services]\nshutdownTimeout = 5000\n"
                               << settings << "\n[agent]\nagent_id = " << kAgentId << "\n";
}

uint32_t CIntegrationTest::Init(const char* agentName, const asTraceLog* traceLog) {
    return Eq().EQ_Init("5.0", m_localFile.c_str(), m_commFile.c_str(), "eq_integration_tests",
                        nullptr, agentName, kAgentNamespace, traceLog);
}

void CIntegrationTest::Start(const std::vector<std::string>& urls, const std::string& settings) {
    WriteSettings(urls, settings);
    ASSERT_EQ(0u, Init());
    ASSERT_EQ(0u, RegisterAllCallbacks());
}

uint32_t CIntegrationTest::RegisterAllCallbacks() {
    const uint32_t status = Eq().EQ_RegisterErrorCallback(&CJournal::OnError);
    return status != 0 ? status
                       : Eq().EQ_RegisterResultSetCallbacks(&CJournal::OnBeginSet,
                                                            &CJournal::OnBegin, &CJournal::OnData,
                                                            &CJournal::OnEnd, &CJournal::OnEndSet);
}

bool ComponentLoaded() {
    const std::string path = std::string(ZAV_IT_SCS_DIR) + "/libzavSessionConfigSvcs5.so";
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) dlclose(handle);
    return handle != nullptr;
}

bool WaitForComponentUnloaded() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ComponentLoaded()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

Reply TwoItemAnswer(const PostedRequest& posted) {
    const bool vulnerabilities =
        posted.Field("element").find("vulnerabilities") != std::string::npos;
    const std::string& id = posted.Field("request-id");
    return {200, BuildResponseDocument({{vulnerabilities,
                                         {{L"1", {{L"a", L"1"}, {L"b", L"2"}}}, {L"2", {}}},
                                         std::wstring(id.begin(), id.end())}})};
}

std::vector<std::string> TwoItemSequence(uint32_t cd) {
    const std::string c = std::to_string(cd);
    return {"BeginSet(" + c + ")",   "Begin(" + c + ",1)", "Data(" + c + ",1,a,1)",
            "Data(" + c + ",1,b,2)", "End(" + c + ",1)",   "Begin(" + c + ",2)",
            "End(" + c + ",2)",      "EndSet(" + c + ")"};
}

::testing::AssertionResult HasFields(const PostedRequest& posted, const std::string& expected) {
    std::string differences = posted.error;
    std::istringstream pairs(expected);
    for (std::string pair; pairs >> pair;) {
        const size_t equals = pair.find('=');
        const std::string name = pair.substr(0, equals);
        if (posted.Field(name) == pair.substr(equals + 1)) continue;
        differences += "\n  " + pair + ", posted '" + posted.Field(name) + "'";
    }
    if (differences.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << differences << "\n" << posted.body;
}

}  // namespace eqit
