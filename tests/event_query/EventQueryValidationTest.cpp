// Query argument checks, result filters, trace texts and the time conversions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "event_query/EventQueryValidation.h"
#include "zavToolsLib/zavStatus.h"

using namespace zavEventQuery;

namespace {

// Runs the test body in another local time zone, restoring the previous one afterwards.
class CTimeZone {
public:
    explicit CTimeZone(const char* zone) {
        const char* previous = getenv("TZ");
        m_bHadZone = previous != nullptr;
        if (m_bHadZone) m_strPrevious = previous;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~CTimeZone() {
        if (m_bHadZone) {
            setenv("TZ", m_strPrevious.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    bool m_bHadZone = false;
    std::string m_strPrevious;
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
        EXPECT_EQ(range.strLow, c.low) << c.text;
        EXPECT_EQ(range.strHigh, c.high) << c.text;
        EXPECT_EQ(range.strType, c.type) << c.text;
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

    EXPECT_TRUE(IsValidTypeFilter(nullptr));
    EXPECT_TRUE(IsValidTypeFilter(""));
    EXPECT_TRUE(IsValidTypeFilter("1,22,,3"));
    EXPECT_FALSE(IsValidTypeFilter("1, 2"));
    EXPECT_FALSE(IsValidTypeFilter("1;2"));

    const CTypeSelection none = GetTypeSelection(nullptr, false);
    EXPECT_EQ(none.strTypeIdList, L"2,8");
    EXPECT_TRUE(none.bExclude);
    const CTypeSelection empty = GetTypeSelection("", false);
    EXPECT_EQ(empty.strTypeIdList, L"");
    EXPECT_FALSE(empty.bExclude);
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

TEST(EventQueryValidation, TraceTexts) {
    CQueryParams vulns;
    vulns.eKind = EQueryKind::VulnsByAddress;
    vulns.pszStartTime = "2007-03-01T00:00:00Z";
    vulns.pszEndTime = "2007-03-02T00:00:00Z";
    vulns.pszSelector = "10.0.0.1-10.0.0.255";
    vulns.bFixed = true;
    vulns.iCount = -1;
    vulns.uClientData = 0xBEEF;
    EXPECT_EQ(ComposeTraceText(vulns),
              "Queueing vulnerabilities by address request: \n"
              "\tTime Range: 2007-03-01T00:00:00Z - 2007-03-02T00:00:00Z\n"
              "\tAddress Range: 10.0.0.1-10.0.0.255\n"
              "\tFixed: true\n"
              "\tCount: -1\n"
              "\tClient Data: 0x0000beef");

    CQueryParams observances;
    observances.eKind = EQueryKind::ObservancesByGroup;
    observances.pszStartTime = "S";
    observances.pszEndTime = "E";
    observances.pszSelector = "7";
    observances.iAnalysisFlags = 5;
    observances.bExclude = false;
    observances.iCount = 50;
    observances.uClientData = 0xFFFFFFFFu;
    EXPECT_EQ(ComposeTraceText(observances),
              "Queueing observance summary by group request: \n"
              "\tTime Range: S - E\n"
              "\tGroup ID: 7\n"
              "\tAnalysis Flags: 0x00000005\n"
              "\tObservance Type Filter: \n"
              "\tExclude Observance Types: false\n"
              "\tCount: 50\n"
              "\tClient Data: 0xffffffff");
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
    EXPECT_EQ(ConvertUtcToTime(nullptr, &result), zavToolsLib::ZAV_E_INVALID_ARG);
    EXPECT_EQ(ConvertUtcToTime("2008-01-01T00:00:00Z", nullptr), zavToolsLib::ZAV_E_INVALID_ARG);
}

TEST(EventQueryValidation, FormatUtcTime) {
    const CTimeZone local("JST-9");  // the local zone must not show
    std::string text;
    ASSERT_TRUE(FormatUtcTime(0, text));
    EXPECT_EQ(text, "1970-01-01T00:00:00.000000Z");
    ASSERT_TRUE(FormatUtcTime(1214915459, text));
    EXPECT_EQ(text, "2008-07-01T12:30:59.000000Z");
    if (sizeof(time_t) > 4) {
        EXPECT_FALSE(FormatUtcTime(std::numeric_limits<time_t>::max(), text));
    }
}
