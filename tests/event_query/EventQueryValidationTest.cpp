// Query argument rules, result filters, the observance trace text and the UTC conversion. What
// the exported functions make of them end to end is proven by the integration tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "event_query/EventQueryValidation.h"
#include "zavToolsLib/zavStatus.h"

using namespace zavEventQuery;

namespace {

// Another local time zone for one scope.
class CTimeZone {
public:
    explicit CTimeZone(const char* zone) {
        if (const char* previous = getenv("TZ")) m_previous = previous;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~CTimeZone() {
        m_previous ? setenv("TZ", m_previous->c_str(), 1) : unsetenv("TZ");
        tzset();
    }
    CTimeZone(const CTimeZone&) = delete;
    CTimeZone& operator=(const CTimeZone&) = delete;

private:
    std::optional<std::string> m_previous;
};

}  // namespace

TEST(EventQueryValidation, AddressRanges) {
    struct Case {
        const char* text;
        const wchar_t* low;
        const wchar_t* high;
        const wchar_t* type;
    };
    const Case valid[] = {
        {"10.0.0.1-10.0.0.255", L"10.0.0.1", L"10.0.0.255", L"ipv4"},
        {"10.0.0.7", L"10.0.0.7", L"10.0.0.7", L"ipv4"},
        {"fe80::1-fe80::ff", L"fe80::1", L"fe80::ff", L"ipv6"},
        {"10.0.0.1-::1", L"10.0.0.1", L"::1", L"ipv6"},  // the high bound decides the type
        {"::1-10.0.0.1", L"::1", L"10.0.0.1", L"ipv4"},
    };
    for (const Case& c : valid) {
        CAddressRange range;
        ASSERT_TRUE(ParseAddressRange(c.text, range)) << c.text;
        EXPECT_EQ(range.strLow + L" " + range.strHigh + L" " + range.strType,
                  std::wstring(c.low) + L" " + c.high + L" " + c.type);
    }
    for (const char* text : {"FE80::1", "1234", "10.0.0.1-", "-10.0.0.1", "", "10.0.0.1 ",
                             "10.0.0.1-10.0.0.2-10.0.0.3", "1.2:3", "10.0.0.x", "fe80::g"}) {
        CAddressRange range;
        EXPECT_FALSE(ParseAddressRange(text, range)) << text;
    }
}

TEST(EventQueryValidation, AnalysisFlagsAndTypeFilter) {
    const auto switches = [](int32_t flags) {
        const CAnalysisSwitches s = GetAnalysisSwitches(flags);
        return std::vector<bool>{s.bSource, s.bTarget, s.bSensor};
    };
    EXPECT_EQ(switches(0), (std::vector<bool>{true, true, false}));
    EXPECT_EQ(switches(4), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(switches(8), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(switches(1 | 4 | 16), (std::vector<bool>{true, false, true}));

    for (const char* filter : {static_cast<const char*>(nullptr), "", "1,22,,3"}) {
        EXPECT_TRUE(IsValidTypeFilter(filter)) << (filter != nullptr ? filter : "(null)");
    }
    EXPECT_FALSE(IsValidTypeFilter("1, 2"));
    EXPECT_FALSE(IsValidTypeFilter("1;2"));
}

TEST(EventQueryValidation, TextLimitIs4095Bytes) {
    std::string text(4095, 'g');
    EXPECT_TRUE(IsWithinTextLimit(text.c_str()));
    text += 'g';
    EXPECT_FALSE(IsWithinTextLimit(text.c_str()));
    // An unterminated buffer is not read past the limit (ASan watches the end).
    const std::vector<char> unterminated(kMaxTextBytes, 'g');
    EXPECT_FALSE(IsWithinTextLimit(unterminated.data()));
}

TEST(EventQueryValidation, ResultFilterSplitting) {
    EXPECT_TRUE(SplitResultFilter(nullptr).empty());
    EXPECT_EQ(SplitResultFilter(""), (std::vector<std::wstring>{L""}));
    EXPECT_EQ(SplitResultFilter("cve,bid"), (std::vector<std::wstring>{L"cve", L"bid"}));
    EXPECT_EQ(SplitResultFilter("a,,b,"), (std::vector<std::wstring>{L"a", L"", L"b", L""}));
    EXPECT_EQ(SplitResultFilter(" x ,\xC3\xA9"), (std::vector<std::wstring>{L" x ", L"\u00e9"}));
}

TEST(EventQueryValidation, ObservanceTraceText) {
    CQueryParams observances;
    observances.eKind = EQueryKind::ObservancesByGroup;
    observances.pszStartTime = "S";
    observances.pszEndTime = "E";
    observances.pszSelector = "7";
    observances.iAnalysisFlags = 5;
    observances.iCount = 50;
    observances.uClientData = 0xFFFFFFFFu;
    EXPECT_EQ(ComposeTraceText(observances),
              "Queueing observance summary by group request: \n\tTime Range: S - E\n"
              "\tGroup ID: 7\n\tAnalysis Flags: 0x00000005\n\tObservance Type Filter: \n"
              "\tExclude Observance Types: false\n\tCount: 50\n\tClient Data: 0xffffffff");
}

TEST(EventQueryValidation, ConvertUtcToTime) {
    for (const char* zone : {"UTC0", "EST5EDT,M3.2.0,M11.1.0", "JST-9"}) {
        const CTimeZone local(zone);
        time_t result = 0;
        EXPECT_EQ(ConvertUtcToTime("2008-01-01T00:00:00Z", &result), zavToolsLib::ZAV_OK) << zone;
        EXPECT_EQ(result, 1199145600) << zone;
        EXPECT_EQ(ConvertUtcToTime("2008-07-01T12:30:59.75", &result), zavToolsLib::ZAV_OK);
        EXPECT_EQ(result, 1214915459) << zone;  // no zone counts as UTC; fractions cut off
    }
    time_t result = 0;
    EXPECT_EQ(ConvertUtcToTime("2008-01-01T00:00:00+02:00", &result),
              zavToolsLib::ZAV_E_INVALID_ARG);
    EXPECT_EQ(ConvertUtcToTime("2008-01-01T00:00:00-00:30", &result),
              zavToolsLib::ZAV_E_INVALID_ARG);
    EXPECT_EQ(ConvertUtcToTime("no date at all", &result), zavToolsLib::ZAV_OK);
}
