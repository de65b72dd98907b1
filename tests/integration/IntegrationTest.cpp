#include "IntegrationTest.h"

#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <thread>

#include "ResponseDocument.h"

namespace eqit {
namespace {

constexpr char kDispatchThread[] = "CBaseServices::_DispatchThread()";

// Whether the session configuration component is still loaded. The library unloads it when its
// service object is deleted, the last thing the dispatch thread does after EQ_ShutDown has
// returned; nothing announces that moment, so it is polled.
bool ComponentUnloaded(std::chrono::seconds deadline) {
    const std::string path = std::string(ZAV_IT_SCS_DIR) + "/libzavSessionConfigSvcs5.so";
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (handle == nullptr) return true;
        dlclose(handle);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

}  // namespace

CScratchDir::CScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "eq_it_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

CScratchDir::~CScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

void CIntegrationTest::SetUp() {
    // A local zone other than UTC, so that a conversion through local time shows.
    setenv("TZ", "EQT-5:30", 1);
    tzset();
    CJournal::Get().Clear();
    Eq().EQ_SetMSLLibPath(ZAV_IT_SCS_DIR);
}

void CIntegrationTest::TearDown() {
    EXPECT_EQ(0u, Eq().EQ_ShutDown());
    // Every dispatch thread that started in this test has to end before the next test begins.
    auto& journal = CJournal::Get();
    EXPECT_TRUE(journal.WaitUntil([&] {
        size_t entered = 0;
        size_t exited = 0;
        for (const TraceLine& line : journal.m_trace) {
            if (line.function != kDispatchThread) continue;
            entered += line.message.rfind("Entering dispatch thread: ", 0) == 0;
            exited += line.message.rfind("Exiting dispatch thread: ", 0) == 0;
        }
        return entered == exited;
    })) << "a dispatch thread did not end";
    // The object is gone only when the component has been unloaded; until then its clean-up
    // would overlap the next test or race the static destructors at process exit.
    EXPECT_TRUE(ComponentUnloaded(std::chrono::seconds(10))) << "a service object was not released";
}

std::string CIntegrationTest::WriteFile(const std::string& name, const std::string& text) const {
    const std::string path = (m_dir.Path() / name).string();
    std::ofstream(path) << text;
    return path;
}

void CIntegrationTest::WriteSettings(const std::vector<std::string>& urls,
                                     const std::string& settings, bool withAgentId) {
    std::string comm = "[servers]\n";
    for (const std::string& url : urls) comm += "url = " + url + "\n";
    comm += "[transport]\nconnect_timeout = 5000\ntransfer_timeout = 20000\n";
    m_commFile = WriteFile("comm.ini", comm);
    std::string local = "[event_query_services]\nshutdownTimeout = 5000\n" + settings + "\n";
    if (withAgentId) local += std::string("[agent]\nagent_id = ") + kAgentId + "\n";
    m_localFile = WriteFile("local.ini", local);
}

uint32_t CIntegrationTest::Init(const char* agentName) {
    return Eq().EQ_Init("5.0", m_localFile.c_str(), m_commFile.c_str(), "eq_integration_tests",
                        nullptr, agentName, kAgentNamespace, CJournal::TraceLog());
}

void CIntegrationTest::Start(const std::vector<std::string>& urls, const std::string& settings) {
    WriteSettings(urls, settings);
    ASSERT_EQ(0u, Init());
    RegisterAllCallbacks();
}

void CIntegrationTest::RegisterAllCallbacks() {
    ASSERT_EQ(0u, Eq().EQ_RegisterErrorCallback(&CJournal::OnError));
    ASSERT_EQ(0u, Eq().EQ_RegisterResultSetCallbacks(&CJournal::OnBeginSet, &CJournal::OnBegin,
                                                     &CJournal::OnData, &CJournal::OnEnd,
                                                     &CJournal::OnEndSet));
}

bool CIntegrationTest::WaitForEvents(const std::string& prefix, size_t count) {
    auto& journal = CJournal::Get();
    return journal.WaitUntil([&] {
        size_t found = 0;
        for (const std::string& event : journal.m_events) found += event.rfind(prefix, 0) == 0;
        return found >= count;
    });
}

bool CIntegrationTest::WaitForTrace(uint32_t level, const std::string& function,
                                    const std::string& prefix, size_t count) {
    auto& journal = CJournal::Get();
    return journal.WaitUntil([&] {
        size_t found = 0;
        for (const TraceLine& line : journal.m_trace) {
            found += line.level == level && line.function == function &&
                     line.message.rfind(prefix, 0) == 0;
        }
        return found >= count;
    });
}

Reply TwoItemAnswer(const PostedRequest& posted) {
    const bool vulnerabilities =
        posted.Field("element").find("vulnerabilities") != std::string::npos;
    const std::string& id = posted.Field("request-id");
    return {200,
            BuildResponseDocument({{vulnerabilities,
                                    {{L"1", {{L"a", L"1"}, {L"b", L"2"}}}, {L"2", {}}},
                                    std::wstring(id.begin(), id.end())}}),
            false};
}

std::vector<std::string> TwoItemSequence(uint32_t cd) {
    const std::string c = std::to_string(cd);
    return {"BeginSet(" + c + ")",   "Begin(" + c + ",1)", "Data(" + c + ",1,a,1)",
            "Data(" + c + ",1,b,2)", "End(" + c + ",1)",   "Begin(" + c + ",2)",
            "End(" + c + ",2)",      "EndSet(" + c + ")"};
}

::testing::AssertionResult HasFields(const PostedRequest& posted,
                                     const std::map<std::string, std::string>& expected) {
    if (!posted.error.empty()) {
        return ::testing::AssertionFailure() << posted.error << "\n" << posted.body;
    }
    ::testing::AssertionResult result = ::testing::AssertionSuccess();
    bool ok = true;
    std::string differences;
    for (const auto& [name, value] : expected) {
        if (posted.Field(name) == value) continue;
        ok = false;
        differences +=
            "\n  " + name + ": expected '" + value + "', posted '" + posted.Field(name) + "'";
    }
    if (ok) return result;
    return ::testing::AssertionFailure() << differences << "\n" << posted.body;
}

}  // namespace eqit
