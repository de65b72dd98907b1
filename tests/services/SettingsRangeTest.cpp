// Settings come from files that are less trusted than code: out-of-range values are clamped, junk
// leaves the default, and both are reported; each service type reads its own section. The settings
// come from a stand-in for the component's look-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>
#include <string>
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

TEST_F(SettingsRangeTest, RetrieveSettingInRangeClampsNumbersAndKeepsTheDefaultForJunk) {
    struct Case {
        bool present;
        const char* text;
        uint32_t minimum, maximum;
        bool found;
        uint32_t value;  // starts at 30000
        bool warned;
    };
    constexpr uint32_t kMax = 0xFFFFFFFFu;
    // clang-format off
    const Case cases[] = {
        {false, nullptr, 100, 600000, false, 30000, false},
        {true, nullptr, 100, 600000, false, 30000, false},  // found, but no text
        {true, "99", 100, 600000, true, 100, true},
        {true, "100", 100, 600000, true, 100, false},
        {true, "600000", 100, 600000, true, 600000, false},
        {true, "600001", 100, 600000, true, 600000, true},
        {true, "0", 100, 600000, true, 100, true},
        {true, "0042", 0, 600000, true, 42, false},
        {true, "4294967295", 100, 600000, true, 600000, true},
        {true, "4294967295", 0, kMax, true, kMax, false},
        {true, "4294967296", 0, kMax, false, 30000, true},
        {true, "99999999999999999999999", 0, kMax, false, 30000, true},
        {true, "", 100, 600000, false, 30000, true},
        {true, "-1", 0, kMax, false, 30000, true},
        {true, "+5", 0, kMax, false, 30000, true},
        {true, "250ms", 0, kMax, false, 30000, true},
        {true, "2 50", 0, kMax, false, 30000, true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text != nullptr ? c.text : "(no text)") + " in " +
                     std::to_string(c.minimum) + ".." + std::to_string(c.maximum));
        g_values.clear();
        if (c.present) SetValues({{"shutdownTimeout", c.text}});
        TraceCapture::Clear();
        uint32_t value = 30000;
        EXPECT_EQ(c.found,
                  zavServices::RetrieveSettingInRange(kDestination, kSection, "shutdownTimeout",
                                                      c.minimum, c.maximum, value));
        EXPECT_EQ(c.value, value);
        // The warning names the key, the text as written and the value that is used instead.
        EXPECT_EQ(c.warned ? 1u : 0u, TraceCapture::Count(kRangeFunction, EQ_TRACE_WARNING));
        if (c.warned) {
            EXPECT_EQ(1u,
                      TraceCapture::Count(std::string("] shutdownTimeout = '") + c.text + "' is ",
                                          EQ_TRACE_WARNING));
            EXPECT_EQ(1u,
                      TraceCapture::Count("; using " + std::to_string(c.value), EQ_TRACE_WARNING));
        }
    }
}

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
};

// The effective value of one key after the retry state and the base service have read g_values.
uint32_t Effective(const std::string& key) {
    Owner owner;
    ExposedRetryState state;
    EXPECT_EQ(0u, state.Init("Event Query Server", &owner));
    EXPECT_EQ(0u, owner.LoadDestinationSettings(kDestination, "Event Query Server"));
    const char* const kTimeouts[] = {"connectTimeout", "transferTimeout", "dnsCacheTimeout",
                                     "shutdownTimeout"};
    const auto at = std::find(std::begin(kTimeouts), std::end(kTimeouts), key);
    const char* const kFields[] = {"retryInterval", "retryCeiling", "maxServerRetry",
                                   "retryPrimaryServer"};
    return at != std::end(kTimeouts)
               ? owner.GetTimeouts()[at - kTimeouts]
               : state.Fields()[std::find(kFields, kFields + 4, key) - kFields];
}

TEST_F(SettingsRangeTest, EveryNumericKeyHasItsDocumentedRangeAndDefault) {
    struct Range {
        const char* key;
        uint32_t minimum, maximum, byDefault;
    };
    // What README.md of the component documents; 0 of the first four is meaningful.
    const Range ranges[] = {
        {"maxServerRetry", 0, 1000, 5},          {"retryPrimaryServer", 0, 604800, 7200},
        {"connectTimeout", 0, 600000, 0},        {"transferTimeout", 0, 3600000, 0},
        {"dnsCacheTimeout", 0, 86400000, 60000}, {"shutdownTimeout", 100, 600000, 30000},
        {"retryInterval", 100, 86400000, 60000}, {"retryCeiling", 100, 86400000, 1800000},
    };
    for (const Range& range : ranges) {
        SCOPED_TRACE(range.key);
        g_values.clear();
        EXPECT_EQ(range.byDefault, Effective(range.key));
        // The ceiling is raised to the interval; a small interval keeps it out of the way.
        const auto run = [&](const std::string& text) {
            SetValues({{"retryInterval", "100"}});
            g_values[{kSection, range.key}] = text.c_str();
            return Effective(range.key);
        };
        if (range.minimum > 0) {
            EXPECT_EQ(range.minimum, run(std::to_string(range.minimum - 1)));
        }
        EXPECT_EQ(range.minimum, run(std::to_string(range.minimum)));
        EXPECT_EQ(range.maximum, run(std::to_string(range.maximum)));
        EXPECT_EQ(range.maximum, run(std::to_string(uint64_t{range.maximum} + 1)));
        EXPECT_EQ(range.maximum, run("4294967295"));
        for (const char* junk : {"-1", "12x", ""}) EXPECT_EQ(range.byDefault, run(junk)) << junk;
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

}  // namespace
