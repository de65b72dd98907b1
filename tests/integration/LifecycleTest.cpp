// Initialisation, shutdown, time conversion and the dump files, through the linked library.
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>

#include "IntegrationTest.h"

namespace eqit {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

class LifecycleTest : public CIntegrationTest {};

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return file ? text.str() : "(missing)";
}

// Every function that needs the service object refuses without one.
void ExpectNotInitialised() {
    const EqApi& eq = Eq();
    const uint32_t statuses[] = {
        eq.EQ_RegisterErrorCallback(&CJournal::OnError),
        eq.EQ_RegisterResultSetCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr),
        eq.EQ_LoadCommSettingsFile("comm.ini"),
        eq.EQ_LoadLocalSettingsFile("local.ini"),
        eq.EQ_SaveCommSettings("comm.ini"),
        eq.EQ_SetLanguage("en"),
        eq.EQ_SetAgentId(kAgentId),
        eq.EQ_SetLastGoodAgentId(kAgentId),
        eq.EQ_TestCommSettings(0, 0),
        eq.EQ_TestCommSettingsFile(0, 0),
        eq.EQ_ResetToPrimaryController(),
        eq.EQ_SetAuthentication("user", "password"),
        eq.EQ_SetObservanceResultFilter("a"),
        eq.EQ_SetVulnerabilityResultFilter("b"),
        eq.EQ_QueryVulnsByAddress(kStart, kEnd, "10.0.0.1", 0, 1, 1),
        eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 1),
        eq.EQ_GetVulnsByAddress(0, 1, "10.0.0.1", 0, 1, 1),
        eq.EQ_GetVulnsByGroup(0, 1, "g", 0, 1, 1),
        eq.EQ_QueryObservancesByAddress(kStart, kEnd, "10.0.0.1", 0, nullptr, 0, 1, 1),
        eq.EQ_QueryObservancesByGroup(kStart, kEnd, "g", 0, nullptr, 0, 1, 1),
        eq.EQ_GetObservanceSummaryByAddress(0, 1, "10.0.0.1", 0, nullptr, 0, 1, 1),
        eq.EQ_GetObservanceSummaryByGroup(0, 1, "g", 0, nullptr, 0, 1, 1),
    };
    for (size_t i = 0; i < sizeof(statuses) / sizeof(statuses[0]); ++i) {
        EXPECT_EQ(Hex(EQ_E_NOT_INITIALIZED), Hex(statuses[i])) << "function #" << i;
    }
    EXPECT_EQ(nullptr, eq.EQ_Allocate(16));
    eq.EQ_Free(nullptr);
    EXPECT_EQ(0u, eq.EQ_ShutDown());
}

TEST_F(LifecycleTest, InstanceFunctionsNeedInitAndInitTwiceChangesNothing) {
    ExpectNotInitialised();
    CEventQueryTestServer server(&TwoItemAnswer);
    WriteSettings({server.Url()});
    const EqApi& eq = Eq();
    const char* l = m_localFile.c_str();
    const char* c = m_commFile.c_str();
    const asTraceLog* log = CJournal::TraceLog();
    for (const char* version : {"4.5", "5", "50", "", "6.0"}) {
        EXPECT_EQ(Hex(EQ_E_INVALID_ARG),
                  Hex(eq.EQ_Init(version, l, c, "i1", nullptr, "a", "n", log)))
            << version;
    }
    EXPECT_EQ(Hex(EQ_E_INVALID_ARG), Hex(eq.EQ_Init(nullptr, l, c, "i1", nullptr, "a", "n", log)));
    EXPECT_EQ(Hex(EQ_E_INVALID_ARG),
              Hex(eq.EQ_Init("5.0", nullptr, c, "i1", nullptr, "a", "n", log)));
    EXPECT_EQ(Hex(EQ_E_INVALID_ARG),
              Hex(eq.EQ_Init("5.0", l, nullptr, "i1", nullptr, "a", "n", log)));
    EXPECT_EQ(Hex(EQ_E_INVALID_ARG), Hex(eq.EQ_Init("5.0", l, c, nullptr, nullptr, "a", "n", log)));
    EXPECT_EQ(Hex(EQ_E_INVALID_ARG),
              Hex(eq.EQ_Init("5.0", l, c, "i1", nullptr, nullptr, "n", log)));
    EXPECT_EQ(Hex(EQ_E_INVALID_ARG),
              Hex(eq.EQ_Init("5.0", l, c, "i1", nullptr, "a", nullptr, log)));
    // A settings file the component cannot read: its status, and still not initialised.
    const std::string missing = (m_dir.Path() / "missing.ini").string();
    EXPECT_EQ(Hex(0xC7590003u),
              Hex(eq.EQ_Init("5.9", missing.c_str(), c, "i1", nullptr, "a", "n", log)));
    ExpectNotInitialised();

    ASSERT_EQ(0u, Init());
    EXPECT_EQ(Hex(EQ_I_ALREADY_INITIALIZED), Hex(Init("another-agent")));
    RegisterAllCallbacks();
    void* block = eq.EQ_Allocate(64);
    ASSERT_NE(nullptr, block);
    static_cast<char*>(block)[63] = 'x';
    eq.EQ_Free(block);
    ASSERT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 1));
    ASSERT_TRUE(WaitForEvents("EndSet("));
    ASSERT_EQ(1u, server.PostCount());
    EXPECT_TRUE(HasFields(
        server.Posts()[0],
        {{"source", std::string(kAgentName) + "|" + kAgentNamespace + "|||" + kAgentId + "||"}}));

    ASSERT_EQ(0u, eq.EQ_ShutDown());
    ExpectNotInitialised();
}

TEST_F(LifecycleTest, ShutDownGivesUpOnAHangingPostAndInitWorksAgain) {
    CEventQueryTestServer hanging([](const PostedRequest& posted) {
        Reply reply = TwoItemAnswer(posted);
        reply.hold = true;
        return reply;
    });
    Start({hanging.Url()}, "shutdownTimeout = 300\n");
    const EqApi& eq = Eq();
    ASSERT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 7));
    ASSERT_TRUE(hanging.WaitForPosts(1));
    const steady_clock::time_point before = steady_clock::now();
    EXPECT_EQ(0u, eq.EQ_ShutDown());
    const steady_clock::duration waited = steady_clock::now() - before;
    EXPECT_GE(waited, milliseconds(250));
    EXPECT_LT(waited, milliseconds(2000));

    // A new instance works while the old dispatch thread still hangs in its post...
    CEventQueryTestServer server(&TwoItemAnswer);
    Start({server.Url()});
    ASSERT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 8));
    ASSERT_TRUE(WaitForEvents("EndSet(8)"));
    // ...and after that thread has ended, without a callback for the old query.
    hanging.Release();
    ASSERT_TRUE(WaitForTrace(EQ_TRACE_DEBUG, "CBaseServices::_DispatchThread()",
                             "Exiting dispatch thread: "));
    ASSERT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 9));
    ASSERT_TRUE(WaitForEvents("EndSet(9)"));
    EXPECT_EQ(0u, CJournal::Get().CountEvents("BeginSet(7)"));
    EXPECT_EQ(0u, CJournal::Get().CountEvents("Error("));
}

TEST_F(LifecycleTest, UtcTextsAndTimeBasedQueriesAgree) {
    const EqApi& eq = Eq();
    time_t t = 0;
    EXPECT_EQ(0u, eq.EQ_ConvertUTCToTime("2008-01-01T00:00:00Z", &t));
    EXPECT_EQ(1199145600, t);
    t = 0;
    EXPECT_EQ(0u, eq.EQ_ConvertUTCToTime("2008-01-01T00:00:00", &t));
    EXPECT_EQ(1199145600, t);
    EXPECT_EQ(0u, eq.EQ_ConvertUTCToTime("2007-03-01T12:34:56.789Z", &t));
    EXPECT_EQ(1172752496, t);
    EXPECT_EQ(Hex(EQ_E_INVALID_ARG), Hex(eq.EQ_ConvertUTCToTime("2008-01-01T00:00:00+02:00", &t)));
    EXPECT_EQ(Hex(EQ_E_INVALID_ARG), Hex(eq.EQ_ConvertUTCToTime(nullptr, &t)));
    EXPECT_EQ(Hex(EQ_E_INVALID_ARG), Hex(eq.EQ_ConvertUTCToTime("2008-01-01T00:00:00Z", nullptr)));

    // A time_t goes out as its UTC text, which converts back to the same value.
    CEventQueryTestServer server(&TwoItemAnswer);
    Start({server.Url()});
    ASSERT_EQ(0u,
              eq.EQ_GetObservanceSummaryByGroup(1172752496, 1199145600, "g", 0, nullptr, 0, 1, 2));
    ASSERT_TRUE(WaitForEvents("EndSet("));
    const PostedRequest posted = server.Posts().at(0);
    EXPECT_TRUE(HasFields(posted, {{"start-time", "2007-03-01T12:34:56.000000Z"},
                                   {"end-time", "2008-01-01T00:00:00.000000Z"}}));
    t = 0;
    EXPECT_EQ(0u, eq.EQ_ConvertUTCToTime(posted.Field("start-time").c_str(), &t));
    EXPECT_EQ(1172752496, t);
}

// The current directory for one test.
class CCurrentDirectory {
public:
    explicit CCurrentDirectory(const std::filesystem::path& path)
        : m_previous(std::filesystem::current_path()) {
        std::filesystem::current_path(path);
    }
    ~CCurrentDirectory() { std::filesystem::current_path(m_previous); }
    CCurrentDirectory(const CCurrentDirectory&) = delete;
    CCurrentDirectory& operator=(const CCurrentDirectory&) = delete;

private:
    std::filesystem::path m_previous;
};

TEST_F(LifecycleTest, DumpFilesHoldWhatWasPostedAndReceived) {
    const CCurrentDirectory here(m_dir.Path());
    CEventQueryTestServer server(&TwoItemAnswer);
    Start({server.Url()});
    const EqApi& eq = Eq();
    const std::string request = "eq_dump_event_query_req.txt";
    const std::string response = "eq_dump_event_query_resp.txt";

    // Off by default.
    ASSERT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g1", 0, 1, 1));
    ASSERT_TRUE(WaitForEvents("EndSet(1)"));
    EXPECT_FALSE(std::filesystem::exists(request));
    EXPECT_FALSE(std::filesystem::exists(response));

    // Switched on by reloading the local settings; each exchange overwrites the files.
    WriteSettings({server.Url()}, "dumpEnabled = 1\n");
    ASSERT_EQ(0u, eq.EQ_LoadLocalSettingsFile(m_localFile.c_str()));
    for (uint32_t cd = 2; cd <= 3; ++cd) {
        const std::string group = "g" + std::to_string(cd);
        ASSERT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, group.c_str(), 0, 1, cd));
        ASSERT_TRUE(WaitForEvents("EndSet(" + std::to_string(cd) + ")"));
        ASSERT_EQ(cd, server.PostCount());
        EXPECT_EQ(server.Posts().back().body, ReadFile(request));
        EXPECT_EQ(server.Answers().back(), ReadFile(response));
    }
}

}  // namespace
}  // namespace eqit
