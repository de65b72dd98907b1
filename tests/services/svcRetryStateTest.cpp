// The retry state: the settings it reads and the sequences of waits and servers it gives.
// Settings come from files that are less trusted than code: out-of-range values are clamped, junk
// leaves the default, and both are reported; each service type reads its own section. The settings
// come from a stand-in for the component's look-up.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "event_query/eqRetryState.h"
#include "services/BaseServices.h"
#include "services/BaseSupport.h"
#include "services/TraceCapture.h"
#include "services/mslLoader.h"
#include "services/mslLoader_zavSessionConfigSvcs.h"

namespace {

constexpr int32_t kDestination = 7;
constexpr const char* kSection = "event_query_services";
constexpr const char* kRangeFunction = "zavServices::RetrieveSettingInRange()";

// (section, key) -> text; a null text is a key the component gives no text for. Texts handed out
// and not yet freed are counted.
std::map<std::pair<std::string, std::string>, const char*> g_values;
int g_outstanding = 0;
uint32_t g_servers = 2, g_countStatus = 0;

// Values of the section above.
void SetValues(std::initializer_list<std::pair<const std::string, const char*>> values) {
    g_values.clear();
    for (const auto& [key, text] : values) g_values[{kSection, key}] = text;
}

uint32_t FakeRetrieve(int32_t destination, const char* section, const char* key, char** value) {
    auto found = g_values.find({section, key});
    if (destination != kDestination || found == g_values.end()) return 0xC7590004u;  // no such key
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

// Puts the stand-ins into the component's slots and the trace capture into the loader's log for
// the life of a test.
class SettingsRangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto& scs = zavServices::zavSCS();
        Use(scs.SCS_RetrieveLocalSettingsValue, &FakeRetrieve);
        Use(scs.SCS_Free, &FakeFree);
        Use(scs.SCS_GetServerCount, &FakeServerCount);
        const asTraceLog* log = zavServices::GetMSLLoaderTraceLog();
        m_restore.push_back([log] { zavServices::SetMSLLoaderTraceLog(log); });
        zavServices::SetMSLLoaderTraceLog(&TraceCapture::g_log);
        TraceCapture::Clear();
        g_servers = 2;
        g_countStatus = 0;
    }
    void TearDown() override {
        for (const auto& restore : m_restore) restore();
    }

private:
    template <typename Slot, typename Fn>
    void Use(Slot& slot, Fn fn) {
        m_restore.push_back([&slot, saved = slot.Get()] { slot.Set(saved); });
        slot.Set(fn);
    }
    std::vector<std::function<void()>> m_restore;
};

// A retry state and a base service that read their settings from the stand-in.
class ExposedRetryState : public eqRetryState {
public:
    // Interval, ceiling, attempts per server, primary return, loop, server count.
    std::vector<uint32_t> Fields() const {
        return {m_uRetryInterval,      m_uRetryCeiling,    m_uMaxServerRetry,
                m_uRetryPrimaryServer, m_bRetryServerLoop, m_uServerCount};
    }
};

class Owner : public CBaseServices {
public:
    Owner() {
        m_pTraceLog = &TraceCapture::g_log;
        m_iDestinationId = kDestination;
    }
    uint32_t SendPendingData(int32_t) override { return 0; }
    void OnRetryRequestFailed() override { ++m_iFailed; }
    int m_iFailed = 0;
};

// The effective value of one key after the retry state and the base service have read g_values.
uint32_t Effective(const std::string& key) {
    Owner owner;
    ExposedRetryState state;
    EXPECT_EQ(0u, state.Init("Event Query Server", &owner));
    EXPECT_EQ(0u, owner.LoadDestinationSettings(kDestination, "Event Query Server"));
    const uint32_t* timeouts = owner.GetTimeouts();
    const std::vector<uint32_t> fields = state.Fields();
    return std::map<std::string, uint32_t>{
        {"connectTimeout", timeouts[0]},  {"transferTimeout", timeouts[1]},
        {"dnsCacheTimeout", timeouts[2]}, {"shutdownTimeout", timeouts[3]},
        {"retryInterval", fields[0]},     {"retryCeiling", fields[1]},
        {"maxServerRetry", fields[2]},    {"retryPrimaryServer", fields[3]}}
        .at(key);
}

TEST_F(SettingsRangeTest, EveryNumericKeyHasItsDocumentedRangeAndDefault) {
    // Key, minimum, maximum, default: what README.md of the component documents; 0 of the first
    // four is meaningful.
    const std::tuple<const char*, uint32_t, uint32_t, uint32_t> ranges[] = {
        {"maxServerRetry", 0, 1000, 5},          {"retryPrimaryServer", 0, 604800, 7200},
        {"connectTimeout", 0, 600000, 0},        {"transferTimeout", 0, 3600000, 0},
        {"dnsCacheTimeout", 0, 86400000, 60000}, {"shutdownTimeout", 100, 600000, 30000},
        {"retryInterval", 100, 86400000, 60000}, {"retryCeiling", 100, 86400000, 1800000},
    };
    for (const auto& [key, low, high, junk] : ranges) {
        SCOPED_TRACE(key);
        g_values.clear();
        EXPECT_EQ(junk, Effective(key));
        // Text, value used, and whether a warning names the text and that value. Leading zeros
        // are decimal; only digits that fit in 32 bits are a number.
        std::vector<std::tuple<std::string, uint32_t, bool>> rows = {
            {std::to_string(low), low, false},
            {"0" + std::to_string(high), high, false},
            {std::to_string(high + 1ull), high, true},
            {"4294967295", high, true}};
        for (const char* text :
             {"4294967296", "99999999999999999999999", "-1", "+5", "250ms", "2 50", ""})
            rows.emplace_back(text, junk, true);
        if (low > 0) rows.emplace_back(std::to_string(low - 1), low, true);
        for (const auto& [text, value, warned] : rows) {
            SCOPED_TRACE("'" + text + "'");
            TraceCapture::Clear();
            // The ceiling is raised to the interval: these two keep that out of the way.
            SetValues({{"retryInterval", "100"}, {"retryCeiling", "86400000"}});
            g_values[{kSection, key}] = text.c_str();
            EXPECT_EQ(value, Effective(key));
            EXPECT_EQ(warned ? 1u : 0u, TraceCapture::Count(kRangeFunction, EQ_TRACE_WARNING));
            if (warned) {
                EXPECT_EQ(1u,
                          TraceCapture::Count(std::string("] ") + key + " = '" + text + "' is "));
                EXPECT_EQ(1u, TraceCapture::Count("; using " + std::to_string(value)));
            }
        }
    }
}

TEST_F(SettingsRangeTest, CeilingBelowTheIntervalIsRaisedToIt) {
    SetValues({{"retryInterval", "3600000"}});
    EXPECT_EQ(3600000u, Effective("retryCeiling"));
    EXPECT_EQ(1u, TraceCapture::Count("svcRetryState::Reload(): retryCeiling 1800000 is below "
                                      "retryInterval 3600000; using 3600000",
                                      EQ_TRACE_WARNING, true));
}

TEST_F(SettingsRangeTest, RetryStateReadsItsSectionAndParsesEveryKey) {
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
    // clang-format off
    for (auto [text, loop] : {std::pair{"0", 0u}, {"OFF", 0u}, {"No", 0u}, {"False", 0u},
                              {"1", 1u}, {"on", 1u}, {"YES", 1u}, {"2", 1u}, {"", 1u},
                              {nullptr, 1u}}) {
        // clang-format on
        SCOPED_TRACE(text != nullptr ? text : "(no key)");
        g_values.clear();
        if (text != nullptr) SetValues({{"retryServerLoop", text}});
        ExposedRetryState state;
        ASSERT_EQ(0u, state.Init("Event Query Server", &owner));
        EXPECT_EQ(loop, state.Fields()[4]);
    }
    EXPECT_EQ(1u, TraceCapture::Count("zavServices::RetrieveSettingSwitch(): Setting "
                                      "[event_query_services] retryServerLoop = '2' is not one of "
                                      "0/1, false/true, no/yes, off/on; using true"));

    g_servers = 0;
    ExposedRetryState none;
    EXPECT_EQ(0u, none.Init("Event Server", &owner));
    g_countStatus = 0xC7590002u;
    EXPECT_EQ(0xC7590002u, none.Init("Event Query Server", &owner));
    EXPECT_EQ(1u, TraceCapture::Count("svcRetryState::Reload(): No available servers for "
                                      "destination 7"));
}

// The sequences of waits and servers.
constexpr uint32_t kIdle = 0xFFFFFFFFu;
constexpr uint32_t kFail = 0xC7590006u;  // connection refused
constexpr uint32_t kBusy = 0x4759001Fu;  // HTTP 503
constexpr uint32_t kNoServer = 0xC7210009u;
constexpr uint32_t kRetryNow = 0xC7210038u;

// Settings of the retry state; its interval and ceiling keep their defaults.
struct Limits {
    uint32_t servers = 2, maxServerRetry = 5, retryPrimaryServer = 7200;
    bool loop = true;
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
    const Limits& limits = scenario.limits;
    g_servers = limits.servers;
    const std::string retries = std::to_string(limits.maxServerRetry),
                      primary = std::to_string(limits.retryPrimaryServer);
    SetValues({{"maxServerRetry", retries.c_str()},
               {"retryPrimaryServer", primary.c_str()},
               {"retryServerLoop", limits.loop ? "1" : "0"}});
    Owner owner;
    ExposedRetryState state;
    state.SetClock([] { return g_now; });
    g_now = 1000;
    ASSERT_EQ(0u, state.Init("Event Query Server", &owner));
    uint32_t wait = 0;
    int32_t index = 5;  // the first call replaces whatever the caller had
    state.NextState(0, wait, index);
    EXPECT_EQ(kIdle, wait);
    EXPECT_EQ(scenario.limits.servers != 0 ? 0 : -1, index);
    for (size_t i = 0; i < scenario.steps.size(); ++i) {
        const Step& step = scenario.steps[i];
        g_now = step.now != 0 ? step.now : g_now;
        if (step.pending) state.SetDataPending(true);
        state.NextState(step.result, wait, index);
        EXPECT_EQ(step.wait, wait) << "step " << i;
        EXPECT_EQ(step.index, index) << "step " << i;
        EXPECT_FALSE(state.IsDataPending());
    }
    EXPECT_EQ(scenario.failed, owner.m_iFailed);
}

using RetryState = SettingsRangeTest;

TEST_F(RetryState, Sequences) {
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
    for (const Scenario& scenario : scenarios) RunScenario(scenario);
}

}  // namespace
