// Many application threads calling queries, registration, shutdown and initialisation at once.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "IntegrationTest.h"

namespace eqit {
namespace {

class ConcurrencyTest : public CIntegrationTest {};

// A deadlock cannot be recovered from inside the process: after the deadline the watchdog ends
// it, so that the run fails instead of hanging.
class CWatchdog {
public:
    explicit CWatchdog(std::chrono::seconds deadline)
        : m_thread([this, deadline] {
              std::unique_lock<std::mutex> lock(m_mutex);
              if (!m_done.wait_for(lock, deadline, [this] { return m_bDone; })) {
                  std::fprintf(stderr, "watchdog: threads still running after %llds\n",
                               static_cast<long long>(deadline.count()));
                  std::abort();
              }
          }) {}
    ~CWatchdog() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bDone = true;
        }
        m_done.notify_all();
        m_thread.join();
    }
    CWatchdog(const CWatchdog&) = delete;
    CWatchdog& operator=(const CWatchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_bDone = false;
    std::thread m_thread;
};

TEST_F(ConcurrencyTest, ConcurrentCallsNeitherCrashNorDeadlock) {
    CEventQueryTestServer server(&TwoItemAnswer);
    Start({server.Url()}, "shutdownTimeout = 2000\n");
    const EqApi& eq = Eq();
    constexpr int kWorkers = 3;
    constexpr int kMaxRounds = 100000;
    constexpr int kCycles = 40;

    std::mutex mutex;
    std::vector<std::string> unexpected;
    auto check = [&](const char* what, uint32_t status, std::set<uint32_t> allowed) {
        if (allowed.count(status) != 0) return;
        std::lock_guard<std::mutex> lock(mutex);
        unexpected.push_back(std::string(what) + " " + Hex(status));
    };
    const std::set<uint32_t> query = {0, EQ_E_QUERY_OUTSTANDING, EQ_E_NOT_INITIALIZED};
    const std::set<uint32_t> instance = {0, EQ_E_NOT_INITIALIZED};
    std::atomic<bool> stop{false};

    // Workers query, register, reset and initialise until the cycles are over, then all shut the
    // library down at once.
    auto worker = [&](int thread) {
        for (int round = 0; round < kMaxRounds && !stop; ++round) {
            const uint32_t cd = static_cast<uint32_t>(thread * 100000 + round);
            switch ((thread * 7 + round) % 12) {
                case 0:
                case 1:
                    check("QueryVulnsByGroup", eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, cd),
                          query);
                    break;
                case 2:
                    check("GetVulnsByAddress",
                          eq.EQ_GetVulnsByAddress(0, 60, "10.0.0.1-10.0.0.9", 1, 1, cd), query);
                    break;
                case 3:
                    check("QueryObservancesByAddress",
                          eq.EQ_QueryObservancesByAddress(kStart, kEnd, "fe80::1", 0, "1,2", 0, 1,
                                                          cd),
                          query);
                    break;
                case 4:
                    check("GetObservanceSummaryByGroup",
                          eq.EQ_GetObservanceSummaryByGroup(0, 60, "g", 4, nullptr, 0, 1, cd),
                          query);
                    break;
                case 5:
                case 6:
                    check("RegisterResultSetCallbacks",
                          eq.EQ_RegisterResultSetCallbacks(&CJournal::OnBeginSet,
                                                           &CJournal::OnBegin, &CJournal::OnData,
                                                           &CJournal::OnEnd, &CJournal::OnEndSet),
                          instance);
                    break;
                case 7:
                    check("RegisterErrorCallback", eq.EQ_RegisterErrorCallback(&CJournal::OnError),
                          instance);
                    break;
                case 8:
                    check("ResetToPrimaryController", eq.EQ_ResetToPrimaryController(), instance);
                    break;
                default:
                    check("Init", Init(), {0, EQ_I_ALREADY_INITIALIZED});
                    break;
            }
            std::this_thread::yield();
        }
        check("ShutDown", eq.EQ_ShutDown(), {0});
    };

    // Every delivery asks again from inside the dispatch thread, so that answers keep arriving
    // while the other threads work.
    CJournal::Get().Update([&] {
        CJournal::Get().m_onBeginSet = [&](uint32_t cd) {
            check("chained query", eq.EQ_QueryVulnsByGroup(kStart, kEnd, "chain", 0, 1, cd), query);
        };
    });
    // The cycling thread shuts the library down only after some answers have arrived, and starts it
    // again. With an instance alive and a query outstanding an answer must come.
    int stalls = 0;
    auto cycler = [&] {
        for (int cycle = 0; cycle < kCycles; ++cycle) {
            const size_t before = CJournal::Get().CountEvents("EndSet(");
            check("cycler Init", Init(), {0, EQ_I_ALREADY_INITIALIZED});
            check("cycler RegisterResultSetCallbacks",
                  eq.EQ_RegisterResultSetCallbacks(&CJournal::OnBeginSet, &CJournal::OnBegin,
                                                   &CJournal::OnData, &CJournal::OnEnd,
                                                   &CJournal::OnEndSet),
                  {0});
            check("cycler query", eq.EQ_QueryVulnsByGroup(kStart, kEnd, "cycle", 0, 1, 7), query);
            stalls += !CJournal::Get().WaitUntil(
                [&] {
                    size_t ends = 0;
                    for (const std::string& e : CJournal::Get().m_events) {
                        ends += e.rfind("EndSet(", 0) == 0;
                    }
                    return ends >= before + 2;
                },
                std::chrono::seconds(10));
            check("cycler ShutDown", eq.EQ_ShutDown(), {0});
        }
        stop = true;
    };
    {
        const CWatchdog watchdog(std::chrono::seconds(90));
        std::vector<std::thread> threads;
        for (int i = 0; i < kWorkers; ++i) threads.emplace_back(worker, i);
        threads.emplace_back(cycler);
        for (std::thread& thread : threads) thread.join();
        EXPECT_EQ(0u, eq.EQ_ShutDown());
        EXPECT_TRUE(CJournal::Get().WaitUntil([&] {
            size_t entered = 0;
            size_t exited = 0;
            for (const TraceLine& line : CJournal::Get().m_trace) {
                entered += line.message.rfind("Entering dispatch thread: ", 0) == 0;
                exited += line.message.rfind("Exiting dispatch thread: ", 0) == 0;
            }
            return entered == exited;
        }));
    }
    CJournal::Get().Update([] { CJournal::Get().m_onBeginSet = nullptr; });
    EXPECT_TRUE(unexpected.empty()) << ::testing::PrintToString(unexpected);
    EXPECT_EQ(0, stalls) << "cycles without an answer";
    RecordProperty("answers", static_cast<int>(CJournal::Get().CountEvents("EndSet(")));

    // The library is still usable afterwards.
    CJournal::Get().ClearEvents();
    Start({server.Url()});
    ASSERT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, "after", 0, 1, 99999));
    ASSERT_TRUE(WaitForEvents("EndSet(99999)"));
    EXPECT_EQ(TwoItemSequence(99999), Events());
}

}  // namespace
}  // namespace eqit
