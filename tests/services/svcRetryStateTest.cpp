#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "event_query/eqRetryState.h"
#include "services/BaseServices.h"
#include "services/TraceCapture.h"
#include "services/mslLoader.h"
#include "services/mslLoader_zavSessionConfigSvcs.h"

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

// ---- Settings read through the component's slots ----------------------------------------

// (section, key) -> text; texts handed out and not yet freed are counted.
std::map<std::pair<std::string, std::string>, const char*> g_values;
int g_outstanding = 0;
uint32_t g_countStatus = 0;
uint32_t g_servers = 2;

uint32_t FakeRetrieve(int32_t destination, const char* section, const char* key, char** value) {
    auto found = g_values.find({section, key});
    if (destination != 7 || found == g_values.end()) {
        return 0xC7590004u;
    }
    *value = found->second != nullptr ? strdup(found->second) : nullptr;
    g_outstanding += *value != nullptr ? 1 : 0;
    return 0;
}
void FakeFree(void* block) {
    g_outstanding -= block != nullptr ? 1 : 0;
    free(block);
}
uint32_t FakeServerCount(int32_t, uint32_t* count) {
    *count = g_servers;
    return g_countStatus;
}

class ExposedRetryState : public eqRetryState {
public:
    // Interval, ceiling, attempts per server, primary return, loop, server count.
    std::vector<uint32_t> Fields() const {
        std::vector<uint32_t> fields{m_uRetryInterval, m_uRetryCeiling, m_uMaxServerRetry};
        fields.insert(fields.end(), {m_uRetryPrimaryServer, m_bRetryServerLoop, m_uServerCount});
        return fields;
    }
};

TEST(RetryState, ReadsItsSectionAndParsesEveryKey) {
    auto& scs = zavServices::zavSCS();
    const auto retrieve = scs.SCS_RetrieveLocalSettingsValue.Get();
    const auto release = scs.SCS_Free.Get();
    const auto count = scs.SCS_GetServerCount.Get();
    scs.SCS_RetrieveLocalSettingsValue.Set(&FakeRetrieve);
    scs.SCS_Free.Set(&FakeFree);
    scs.SCS_GetServerCount.Set(&FakeServerCount);
    TraceCapture::Clear();
    g_servers = 2;
    g_countStatus = 0;
    Owner owner;

    for (auto [type, section] : {std::pair{"Event Query Server", "event_query_services"},
                                 {"Agent Manager", "sensor_services"},
                                 {"Update Server", "update_services"},
                                 {"Asset Server", ""},
                                 {"event query server", ""}}) {
        SCOPED_TRACE(type);
        g_values = {{{section, "retryInterval"}, "250"},
                    {{section, "retryCeiling"}, "abc"},
                    {{section, "maxServerRetry"}, nullptr},
                    {{section, "retryServerLoop"}, "false"}};
        ExposedRetryState state;
        ASSERT_EQ(0u, state.Init(type, &owner));
        // Read from the type's section only; a non-number, a null text or a missing key changes
        // nothing.
        EXPECT_EQ((std::vector<uint32_t>{250, 1800000, 5, 7200, 0, 2}), state.Fields());
        EXPECT_EQ(0, g_outstanding);
    }

    // retryServerLoop takes the component's switch words in any case; anything else, or no
    // key, keeps the loop on, with a warning for the bad text.
    const asTraceLog* loaderLog = zavServices::GetMSLLoaderTraceLog();
    zavServices::SetMSLLoaderTraceLog(&TraceCapture::g_log);
    for (auto [text, loop] : {std::pair{"0", 0u},
                              {"OFF", 0u},
                              {"No", 0u},
                              {"False", 0u},
                              {"1", 1u},
                              {"on", 1u},
                              {"YES", 1u},
                              {"2", 1u},
                              {"", 1u}}) {
        SCOPED_TRACE(text);
        g_values = {{{"event_query_services", "retryServerLoop"}, text}};
        ExposedRetryState state;
        ASSERT_EQ(0u, state.Init("Event Query Server", &owner));
        EXPECT_EQ(loop, state.Fields()[4]);
    }
    g_values = {};
    ExposedRetryState absent;
    ASSERT_EQ(0u, absent.Init("Event Query Server", &owner));
    EXPECT_EQ(1u, absent.Fields()[4]);
    EXPECT_EQ(1u, TraceCapture::Count("zavServices::RetrieveSettingSwitch(): Setting "
                                      "[event_query_services] retryServerLoop = '2' is not one of "
                                      "0/1, false/true, no/yes, off/on; using true"));
    zavServices::SetMSLLoaderTraceLog(loaderLog);

    g_servers = 0;
    ExposedRetryState none;
    EXPECT_EQ(0u, none.Init("Event Server", &owner));
    g_countStatus = 0xC7590002u;
    EXPECT_EQ(0xC7590002u, none.Init("Event Query Server", &owner));
    EXPECT_EQ(1u, TraceCapture::Count("svcRetryState::Reload(): No available servers for "
                                      "destination 7"));

    scs.SCS_RetrieveLocalSettingsValue.Set(retrieve);
    scs.SCS_Free.Set(release);
    scs.SCS_GetServerCount.Set(count);
}

}  // namespace
