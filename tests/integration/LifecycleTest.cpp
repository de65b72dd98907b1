// Initialisation, shutdown and time conversion, through the linked library, also from many
// threads at once.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "IntegrationTest.h"

namespace eqit {
namespace {

class LifecycleTest : public CIntegrationTest {};

// Every function that needs the service object refuses without one; the conversion works.
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
    // The conversion needs no instance and reads the form the Get queries post; its rules are the
    // unit tests'.
    time_t t = 0;
    EXPECT_EQ(0u, eq.EQ_ConvertUTCToTime("2007-03-01T12:34:56.000000Z", &t));
    EXPECT_EQ(1172752496, t);
    EXPECT_EQ(Hex(EQ_E_INVALID_ARG), Hex(eq.EQ_ConvertUTCToTime(nullptr, &t)));
    EXPECT_EQ(Hex(EQ_E_INVALID_ARG), Hex(eq.EQ_ConvertUTCToTime("2008-01-01T00:00:00Z", nullptr)));
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
    std::vector<Args> refused(good.size(), good);  // each argument null in turn
    for (size_t i = 0; i < good.size(); ++i) refused[i][i] = nullptr;
    for (const char* version : {"4.5", "5", "50", "", "6.0"}) {
        refused.push_back(good);
        refused.back()[0] = version;
    }
    for (size_t i = 0; i < refused.size(); ++i) {
        EXPECT_EQ(Hex(EQ_E_INVALID_ARG), Hex(init(refused[i]))) << "case " << i;
    }
    // A settings file the component cannot read: its status, and still not initialised.
    const std::string missing = (m_dir / "missing.ini").string();
    EXPECT_EQ(Hex(0xC7590003u), Hex(init({"5.9", missing.c_str(), good[2], "i1", "a", "n"})));
    ExpectNotInitialised();

    ASSERT_EQ(0u, Init());
    EXPECT_EQ(Hex(EQ_I_ALREADY_INITIALIZED), Hex(Init("another-agent")));
    ASSERT_EQ(0u, RegisterAllCallbacks());
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

// Many application threads calling queries, registration, shutdown and initialisation at once.
TEST_F(LifecycleTest, ConcurrentCallsNeitherCrashNorDeadlock) {
    CEventQueryTestServer server(&TwoItemAnswer);
    Start({server.Url()}, "shutdownTimeout = 2000\n");
    const EqApi& eq = Eq();
    std::mutex mutex;
    std::vector<std::string> unexpected;
    auto check = [&](const char* what, uint32_t status, const std::set<uint32_t>& allowed) {
        if (allowed.count(status) != 0) return;
        std::lock_guard<std::mutex> lock(mutex);
        unexpected.push_back(std::string(what) + " " + Hex(status));
    };
    const std::set<uint32_t> query = {0, EQ_E_QUERY_OUTSTANDING, EQ_E_NOT_INITIALIZED};
    const std::set<uint32_t> instance = {0, EQ_E_NOT_INITIALIZED};

    // Each worker goes round the calls, from a different place, until the cycler is done: four
    // queries, three calls on the instance, and EQ_Init.
    const std::function<uint32_t(uint32_t)> calls[] = {
        [&](uint32_t cd) { return eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, cd); },
        [&](uint32_t cd) { return eq.EQ_GetVulnsByAddress(0, 60, "10.0.0.1-10.0.0.9", 1, 1, cd); },
        [&](uint32_t cd) {
            return eq.EQ_QueryObservancesByAddress(kStart, kEnd, "fe80::1", 0, "1,2", 0, 1, cd);
        },
        [&](uint32_t cd) {
            return eq.EQ_GetObservanceSummaryByGroup(0, 60, "g", 4, nullptr, 0, 1, cd);
        },
        [&](uint32_t) { return RegisterAllCallbacks(); },
        [&](uint32_t) { return eq.EQ_RegisterErrorCallback(&CJournal::OnError); },
        [&](uint32_t) { return eq.EQ_ResetToPrimaryController(); },
        [&](uint32_t) { return Init(); },
    };
    const std::set<uint32_t> init = {0, EQ_I_ALREADY_INITIALIZED};
    std::atomic<bool> stop{false};
    auto worker = [&](uint32_t thread) {
        for (uint32_t round = 0; !stop; ++round) {
            const size_t i = (thread * 3 + round) % std::size(calls);
            check(("call " + std::to_string(i)).c_str(), calls[i](thread * 100000 + round),
                  i < 4 ? query : (i < 7 ? instance : init));
            std::this_thread::yield();
        }
        check("shutdown", eq.EQ_ShutDown(), {0});
    };

    // Every delivery asks again from inside the dispatch thread, so that answers keep arriving
    // while the other threads work.
    CJournal::Get().Update([&] {
        CJournal::Get().m_onBeginSet = [&](uint32_t cd) {
            check("chained", eq.EQ_QueryVulnsByGroup(kStart, kEnd, "chain", 0, 1, cd), query);
        };
    });
    // The cycler starts the library, waits for answers and shuts it down again: with an instance
    // alive and a query outstanding an answer must come.
    int stalls = 0;
    auto cycler = [&] {
        for (int cycle = 0; cycle < 40; ++cycle) {
            const size_t before = CJournal::Get().CountEvents("EndSet(");
            check("cycler init", Init(), init);
            check("cycler register", RegisterAllCallbacks(), {0});
            check("cycler query", eq.EQ_QueryVulnsByGroup(kStart, kEnd, "cycle", 0, 1, 7), query);
            // With an instance certainly alive and its dispatch thread posting: the workers' resets
            // may all land between instances.
            check("cycler reset", eq.EQ_ResetToPrimaryController(), {0});
            stalls += !CJournal::Get().WaitForEvents("EndSet(", before + 2);
            check("cycler shutdown", eq.EQ_ShutDown(), {0});
        }
        stop = true;
    };
    // A deadlock is ended by the test's time-out.
    std::vector<std::thread> threads;
    for (uint32_t i = 0; i < 3; ++i) threads.emplace_back(worker, i);
    threads.emplace_back(cycler);
    for (std::thread& thread : threads) thread.join();
    CJournal::Get().Update([] { CJournal::Get().m_onBeginSet = nullptr; });
    EXPECT_TRUE(unexpected.empty()) << ::testing::PrintToString(unexpected);
    EXPECT_EQ(0, stalls) << "cycles without an answer";
    // Every object is released, the losers of racing EQ_Init calls too (by their own threads).
    EXPECT_EQ(0u, eq.EQ_ShutDown());
    EXPECT_TRUE(WaitForComponentUnloaded());

    // The library is still usable afterwards.
    CJournal::Get().ClearEvents();
    Start({server.Url()});
    ASSERT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, "after", 0, 1, 99999));
    ASSERT_TRUE(WaitForEvents("EndSet(99999)"));
    EXPECT_EQ(TwoItemSequence(99999), Events());
}

}  // namespace
}  // namespace eqit
