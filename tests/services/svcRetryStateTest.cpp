#include <gtest/gtest.h>

#include <vector>

#include "services/BaseServices.h"
#include "services/TraceCapture.h"

namespace {

constexpr uint32_t kIdle = 0xFFFFFFFFu;
constexpr uint32_t kFail = 0xC7590006u;  // connection refused
constexpr uint32_t kBusy = 0x4759001Fu;  // HTTP 503
constexpr uint32_t kNoServer = 0xC7210009u;
constexpr uint32_t kRetryNow = 0xC7210038u;

struct Limits {
    uint32_t servers = 2, maxServerRetry = 5, retryPrimaryServer = 7200;
    bool loop = true;
    uint32_t interval = 60000, ceiling = 1800000;
};

// Settings come from the test instead of the component.
class LimitsRetryState : public svcRetryState {
public:
    explicit LimitsRetryState(const Limits& limits) : m_limits(limits) {}
    using svcRetryState::Reload;
    uint32_t Reload(int32_t) override {
        m_uServerCount = m_limits.servers;
        m_uRetryInterval = m_limits.interval;
        m_uRetryCeiling = m_limits.ceiling;
        m_uMaxServerRetry = m_limits.maxServerRetry;
        m_uRetryPrimaryServer = m_limits.retryPrimaryServer;
        m_bRetryServerLoop = m_limits.loop;
        return 0;
    }

private:
    Limits m_limits;
};

class Owner : public CBaseServices {
public:
    explicit Owner(int32_t destination = 7) {
        m_pTraceLog = &TraceCapture::g_log;
        m_iDestinationId = destination;
    }
    uint32_t SendPendingData(int32_t) override { return 0; }
    void OnRetryRequestFailed() override { ++m_iFailed; }
    int m_iFailed = 0;
};

time_t g_now = 1000;

// One NextState: optionally at a new time or with data queued first, then the expected output.
struct Step {
    uint32_t result, wait;
    int32_t index;
    time_t now = 0;
    bool pending = false;
};

struct Scenario {
    const char* name;
    Limits limits;
    std::vector<Step> steps;
    int failed = 0;  // requests given up
};

void RunScenario(const Scenario& scenario) {
    SCOPED_TRACE(scenario.name);
    Owner owner;
    LimitsRetryState state(scenario.limits);
    state.SetClock([] { return g_now; });
    g_now = 1000;
    ASSERT_EQ(0u, state.Init("Event Server", &owner));
    uint32_t wait = 0;
    int32_t index = 5;  // the first call replaces whatever the caller had
    state.NextState(0, wait, index);
    EXPECT_EQ(kIdle, wait);
    EXPECT_EQ(scenario.limits.servers != 0 ? 0 : -1, index);
    for (size_t i = 0; i < scenario.steps.size(); ++i) {
        const Step& step = scenario.steps[i];
        g_now = step.now != 0 ? step.now : g_now;
        if (step.pending) {
            state.SetDataPending(true);
        }
        state.NextState(step.result, wait, index);
        EXPECT_EQ(step.wait, wait) << "step " << i;
        EXPECT_EQ(step.index, index) << "step " << i;
        EXPECT_FALSE(state.IsDataPending());
    }
    EXPECT_EQ(scenario.failed, owner.m_iFailed);
}

TEST(RetryState, Sequences) {
    // clang-format off
    const Scenario scenarios[] = {
        {"defaults: doubling per server, switch at once, loop", Limits{},
         {{kFail, 60000, 0}, {kFail, 120000, 0}, {kFail, 240000, 0}, {kFail, 480000, 0},
          {kFail, 0, 1}, {kFail, 60000, 1}, {kFail, 120000, 1}, {kFail, 240000, 1},
          {kFail, 480000, 1}, {kFail, 0, 0}, {0, kIdle, 0}}},
        // With one attempt per server, a counted busy result would show as a server change.
        {"busy server: up to the ceiling, never counted, no return to primary", Limits{2, 1, 10},
         {{kBusy, 60000, 0}, {kBusy, 120000, 0}, {kBusy, 240000, 0}, {kBusy, 480000, 0},
          {kBusy, 960000, 0}, {kBusy, 1800000, 0}, {kBusy, 1800000, 0}, {kFail, 60000, 1},
          {kBusy, 120000, 1, 5000}, {kBusy, 240000, 1}, {0, kIdle, 0}}},
        {"retry-now and no-server keep the attempt count; success clears it", Limits{2, 3},
         {{kFail, 60000, 0}, {kRetryNow, 0, 0}, {kFail, 60000, 0}, {kNoServer, kIdle, 0},
          {kFail, 0, 1}, {kFail, 60000, 1}, {0, kIdle, 1}, {kFail, 60000, 1},
          {kFail, 120000, 1}}},
        {"no loop: given up once, idle at the primary", Limits{2, 2, 7200, false},
         {{kFail, 60000, 0}, {kFail, 0, 1}, {kFail, 60000, 1}, {kFail, kIdle, 0},
          {kFail, 60000, 0}, {0, kIdle, 0}}, 1},
        {"one attempt per server waits the interval after moving", Limits{3, 1},
         {{kFail, 60000, 1}, {kFail, 60000, 2}, {kFail, 60000, 0}, {kFail, 60000, 1}}},
        {"zero attempts behave like one", Limits{3, 0}, {{kFail, 60000, 1}, {kFail, 60000, 2}}},
        {"zero servers", Limits{0, 5},
         {{kFail, 60000, -1}, {kFail, 120000, -1}, {kNoServer, kIdle, -1}, {0, kIdle, -1}}},
        {"back to the primary only after more than retryPrimaryServer seconds", Limits{3, 2, 100},
         {{kFail, 60000, 0}, {kFail, 0, 1}, {kFail, 60000, 1, 1100}, {0, kIdle, 0, 1101}}},
        {"a failure past the limit returns with the interval as wait", Limits{3, 2, 100},
         {{kFail, 60000, 0}, {kFail, 0, 1}, {kFail, 60000, 1}, {kFail, 60000, 0, 1200}}},
        {"data queued while idle goes at once; during a back-off it waits", Limits{},
         {{0, 0, 0, 0, true}, {0, kIdle, 0}, {kFail, 60000, 0}, {kFail, 120000, 0, 0, true}}},
    };
    // clang-format on
    for (const Scenario& scenario : scenarios) {
        RunScenario(scenario);
    }
}

}  // namespace
