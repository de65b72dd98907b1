// Initialisation, shutdown and time conversion, through the linked library.
#include <array>
#include <chrono>
#include <cstdint>
#include <future>
#include <stdexcept>
#include <string>

#include "IntegrationTest.h"

namespace eqit {
namespace {

class LifecycleTest : public CIntegrationTest {};

// Every function that needs the service object refuses without one.
void ExpectNotInitialised() {
    const EqApi& eq = Eq();
    const std::vector<uint32_t> statuses = {
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
        eq.EQ_GetObservanceSummaryByGroup(0, 1, "g", 0, nullptr, 0, 1, 1)};
    EXPECT_EQ(std::vector<uint32_t>(statuses.size(), EQ_E_NOT_INITIALIZED), statuses);
    EXPECT_EQ(nullptr, eq.EQ_Allocate(16));
    EXPECT_EQ(0u, eq.EQ_ShutDown());
}

TEST_F(LifecycleTest, InstanceFunctionsNeedInitAndInitTwiceChangesNothing) {
    ExpectNotInitialised();
    CEventQueryTestServer server(&TwoItemAnswer);
    WriteSettings({server.Url()});
    const EqApi& eq = Eq();
    // version, local file, comm file, init string, agent name, agent namespace
    using Args = std::array<const char*, 6>;
    auto init = [&](const Args& a) {
        return eq.EQ_Init(a[0], a[1], a[2], a[3], nullptr, a[4], a[5], CJournal::TraceLog());
    };
    const Args good = {"5.0", m_localFile.c_str(), m_commFile.c_str(), "i1", "a", "n"};
    for (const char* version : {"4.5", "5", "50", "", "6.0"}) {
        Args args = good;
        args[0] = version;
        EXPECT_EQ(Hex(EQ_E_INVALID_ARG), Hex(init(args))) << version;
    }
    for (size_t i = 0; i < good.size(); ++i) {
        Args args = good;
        args[i] = nullptr;
        EXPECT_EQ(Hex(EQ_E_INVALID_ARG), Hex(init(args))) << "argument #" << i;
    }
    // A settings file the component cannot read: its status, and still not initialised.
    const std::string missing = (m_dir / "missing.ini").string();
    EXPECT_EQ(Hex(0xC7590003u), Hex(init({"5.9", missing.c_str(), good[2], "i1", "a", "n"})));
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
    const std::vector<PostedRequest> posts = server.Posts();
    ASSERT_EQ(1u, posts.size());
    EXPECT_TRUE(HasFields(posts[0], "source=" + std::string(kAgentName) + "|" + kAgentNamespace +
                                        "|||" + kAgentId + "||"));

    ASSERT_EQ(0u, eq.EQ_ShutDown());
    ExpectNotInitialised();
}

TEST_F(LifecycleTest, ShutDownEndsAHangingPostAndInitWorksAgain) {
    CEventQueryTestServer hanging([](const PostedRequest& posted) {
        Reply reply = TwoItemAnswer(posted);
        reply.hold = true;
        return reply;
    });
    Start({hanging.Url()}, "shutdownTimeout = 600000\n");
    const EqApi& eq = Eq();
    ASSERT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 7));
    ASSERT_TRUE(hanging.WaitForPosts(1));
    // The shutdown ends the post in progress instead of waiting (ten minutes) for the server.
    auto shutDown = std::async(std::launch::async, [&eq] { return eq.EQ_ShutDown(); });
    ASSERT_EQ(std::future_status::ready, shutDown.wait_for(std::chrono::seconds(20)));
    EXPECT_EQ(0u, shutDown.get());
    // Ended by the stop, the post failed like any other: its status and its level-1 line.
    const std::vector<std::string> failed = Events();
    ASSERT_EQ(1u, failed.size());
    EXPECT_EQ(1u, CJournal::Get().CountTrace(
                      "CEventQueryServices::SendPendingData: Event Query "
                      "Services library failed to post data to Event "
                      "Query Server: status(" +
                      std::to_string(std::stoul(failed[0].substr(6), nullptr, 16)) + ")"));

    // A new instance works while the old dispatch thread still hangs in its post...
    CEventQueryTestServer server(&TwoItemAnswer);
    Start({server.Url()});
    ASSERT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 8));
    ASSERT_TRUE(WaitForEvents("EndSet(8)"));
    // ...and after that thread has ended, without a callback for the old query.
    hanging.Release();
    ASSERT_TRUE(CJournal::Get().WaitForTrace(
        "CBaseServices::_DispatchThread(): Exiting dispatch thread: "));
    ASSERT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 9));
    ASSERT_TRUE(WaitForEvents("EndSet(9)"));
    EXPECT_EQ(0u, CJournal::Get().CountEvents("BeginSet(7)"));
    EXPECT_EQ(1u, CJournal::Get().CountEvents("Error("));
    // The old object is released by its own thread, after EQ_ShutDown has returned.
    EXPECT_EQ(0u, eq.EQ_ShutDown());
    EXPECT_TRUE(WaitForComponentUnloaded());
}

// A dispatch thread still in a callback when shutdownTimeout runs out is abandoned. The
// application may free its trace log and what its callbacks use once EQ_ShutDown has returned,
// so when the thread ends later, neither it nor the loader unloading the component writes another
// line, and the error callback hears nothing of the request it drops.
TEST_F(LifecycleTest, AnAbandonedDispatchThreadWritesNoTraceLineAfterShutDown) {
    CEventQueryTestServer server(&TwoItemAnswer);
    WriteSettings({server.Url()}, "shutdownTimeout = 100\n");
    ASSERT_EQ(0u, Init());
    const EqApi& eq = Eq();
    // The first result set's callback holds the dispatch thread until the test lets it go; then
    // the answer fails late and the request is dropped. Static: the thread may outlive a failure.
    static bool entered = false, released = false;
    CJournal::Get().Update([] {
        CJournal::Get().m_onBeginSet = [](uint32_t) {
            CJournal::Get().Update([] { entered = true; });
            CJournal::Get().WaitUntil([] { return released; }, std::chrono::seconds(30));
            throw std::runtime_error("the answer fails late");
        };
    });
    ASSERT_EQ(0u, eq.EQ_RegisterResultSetCallbacks(&CJournal::OnBeginSet, nullptr, nullptr, nullptr,
                                                   nullptr));
    ASSERT_EQ(0u, eq.EQ_RegisterErrorCallback(&CJournal::OnError));
    ASSERT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 1));
    ASSERT_TRUE(CJournal::Get().WaitUntil([] { return entered; }));
    ASSERT_EQ(0u, eq.EQ_ShutDown());
    const size_t lines = CJournal::Get().CountTrace("");
    CJournal::Get().Update([] { released = true; });
    ASSERT_TRUE(WaitForComponentUnloaded());
    EXPECT_EQ(lines, CJournal::Get().CountTrace(""));
    EXPECT_TRUE(Events().empty()) << ::testing::PrintToString(Events());
}

// The unit tests hold the conversion's rules; here the export needs no instance and reads the form
// the Get queries post.
TEST_F(LifecycleTest, UtcTextsConvertWithoutAnInstance) {
    const EqApi& eq = Eq();
    time_t t = 0;
    EXPECT_EQ(0u, eq.EQ_ConvertUTCToTime("2007-03-01T12:34:56.000000Z", &t));
    EXPECT_EQ(1172752496, t);
    EXPECT_EQ(Hex(EQ_E_INVALID_ARG), Hex(eq.EQ_ConvertUTCToTime(nullptr, &t)));
    EXPECT_EQ(Hex(EQ_E_INVALID_ARG), Hex(eq.EQ_ConvertUTCToTime("2008-01-01T00:00:00Z", nullptr)));
}

}  // namespace
}  // namespace eqit
