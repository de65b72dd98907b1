// Many application threads calling queries, registration, shutdown and initialisation at once.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "IntegrationTest.h"

namespace eqit {
namespace {

class ConcurrencyTest : public CIntegrationTest {};

TEST_F(ConcurrencyTest, ConcurrentCallsNeitherCrashNorDeadlock) {
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
    auto registerAll = [&] {
        return eq.EQ_RegisterResultSetCallbacks(&CJournal::OnBeginSet, &CJournal::OnBegin,
                                                &CJournal::OnData, &CJournal::OnEnd,
                                                &CJournal::OnEndSet);
    };

    // Each worker goes round the calls, from a different place, until the cycler is done.
    const std::function<void(uint32_t)> calls[] = {
        [&](uint32_t cd) {
            check("by group", eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, cd), query);
        },
        [&](uint32_t cd) {
            check("by address", eq.EQ_GetVulnsByAddress(0, 60, "10.0.0.1-10.0.0.9", 1, 1, cd),
                  query);
        },
        [&](uint32_t cd) {
            check("observances",
                  eq.EQ_QueryObservancesByAddress(kStart, kEnd, "fe80::1", 0, "1,2", 0, 1, cd),
                  query);
        },
        [&](uint32_t cd) {
            check("summary", eq.EQ_GetObservanceSummaryByGroup(0, 60, "g", 4, nullptr, 0, 1, cd),
                  query);
        },
        [&](uint32_t) { check("register", registerAll(), instance); },
        [&](uint32_t) {
            check("error callback", eq.EQ_RegisterErrorCallback(&CJournal::OnError), instance);
        },
        [&](uint32_t) { check("reset", eq.EQ_ResetToPrimaryController(), instance); },
        [&](uint32_t) {
            check("init", Init(), {0, EQ_I_ALREADY_INITIALIZED});
        },
    };
    std::atomic<bool> stop{false};
    auto worker = [&](uint32_t thread) {
        for (uint32_t round = 0; !stop; ++round) {
            calls[(thread * 3 + round) % std::size(calls)](thread * 100000 + round);
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
            check("cycler init", Init(), {0, EQ_I_ALREADY_INITIALIZED});
            check("cycler register", registerAll(), {0});
            check("cycler query", eq.EQ_QueryVulnsByGroup(kStart, kEnd, "cycle", 0, 1, 7), query);
            // With an instance certainly alive and its dispatch thread posting: the workers' resets
            // may all land between instances.
            check("cycler reset", eq.EQ_ResetToPrimaryController(), {0});
            stalls += !CJournal::Get().WaitForEvents("EndSet(", before + 2);
            check("cycler shutdown", eq.EQ_ShutDown(), {0});
        }
        stop = true;
    };
    // A deadlock cannot be undone inside the process: after the deadline the watchdog ends it, so
    // that the run fails instead of hanging.
    std::promise<void> done;
    std::thread watchdog([finished = done.get_future()] {
        if (finished.wait_for(std::chrono::seconds(90)) != std::future_status::ready) {
            std::fprintf(stderr, "watchdog: threads still running after 90 s\n");
            std::abort();
        }
    });
    std::vector<std::thread> threads;
    for (uint32_t i = 0; i < 3; ++i) threads.emplace_back(worker, i);
    threads.emplace_back(cycler);
    for (std::thread& thread : threads) thread.join();
    done.set_value();
    watchdog.join();
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
