// Query argument rules, result filters, the observance trace text and the UTC conversion. What
// the exported functions make of them end to end is proven by the integration tests, which also
// pin the text of a time_t (QueryTest: 0, INT32_MIN, INT32_MAX; ValidationTest: past gmtime).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <utility>
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
    const struct {
        const char* text;
        const wchar_t *low, *high, *type;
    } valid[] = {
        // The high bound decides the type (QueryTest posts the other forms).
        {"::1-10.0.0.1", L"::1", L"10.0.0.1", L"ipv4"},
        {"10.0.0.1-::1", L"10.0.0.1", L"::1", L"ipv6"},
    };
    for (const auto& c : valid) {
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
    // flags, then source, target, sensor
    for (const auto& [flags, expected] : std::initializer_list<std::pair<int32_t, const char*>>{
             {0, "110"}, {4, "001"}, {8, "000"}, {1 | 4 | 16, "101"}}) {
        const CAnalysisSwitches s = GetAnalysisSwitches(flags);
        EXPECT_EQ(
            (std::string{char('0' + s.bSource), char('0' + s.bTarget), char('0' + s.bSensor)}),
            expected)
            << flags;
    }
    for (const char* filter : {static_cast<const char*>(nullptr), "", "1,22,,3"})
        EXPECT_TRUE(IsValidTypeFilter(filter)) << (filter != nullptr ? filter : "(null)");
    EXPECT_FALSE(IsValidTypeFilter("1, 2") || IsValidTypeFilter("1;2"));
}

TEST(EventQueryValidation, TextLimitIs4095Bytes) {
    EXPECT_TRUE(IsWithinTextLimit(std::string(4095, 'g').c_str()));
    EXPECT_FALSE(IsWithinTextLimit(std::string(4096, 'g').c_str()));
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
    const CQueryParams observances{
        EQueryKind::ObservancesByGroup, "S", "E", "7", false, 5, nullptr, false, 50, 0xFFFFFFFFu};
    EXPECT_EQ(ComposeTraceText(observances),
              "Queueing observance summary by group request: \n\tTime Range: S - E\n"
              "\tGroup ID: 7\n\tAnalysis Flags: 0x00000005\n\tObservance Type Filter: \n"
              "\tExclude Observance Types: false\n\tCount: 50\n\tClient Data: 0xffffffff");
}

TEST(EventQueryValidation, ConvertUtcToTime) {
    const bool bWide = sizeof(time_t) > 4;
    const int64_t kUnchanged = 42;
    // Expected value, or kInvalid where this build's time_t cannot hold it.
    const int64_t kInvalid = INT64_MIN;
    const std::pair<const char*, int64_t> rows[] = {
        {"2008-01-01T00:00:00Z", 1199145600},
        {"2008-07-01T12:30:59.75", 1214915459},  // no zone counts as UTC; fractions cut off
        {"2007-13-01T00:00:00Z", 1199145600},    // fields carry over as in mktime
        {"2008-02-30T24:00:60Z", 1204416060},
        // The ends of a 32-bit time_t, and one second past each.
        {"1901-12-13T20:45:52Z", INT32_MIN},
        {"2038-01-19T03:14:07Z", INT32_MAX},
        {"1901-12-13T20:45:51Z", bWide ? int64_t{INT32_MIN} - 1 : kInvalid},
        {"2038-01-19T03:14:08Z", bWide ? int64_t{INT32_MAX} + 1 : kInvalid},
        {"1900-01-01T00:00:00Z", bWide ? -2208988800 : kInvalid},
        {"2106-02-07T06:28:16Z", bWide ? 4294967296 : kInvalid},
        // Read as the cleared value, 0000-00-00T00:00:00: 30 November of the year -1.
        {"no date at all", bWide ? -62169984000 : kInvalid},
        // Seconds that no broken-down time can hold.
        {"2008-01-01T00:00:1e300Z", kInvalid},
        {"2008-01-01T00:00:00+02:00", kInvalid},
        {"2008-01-01T00:00:00-00:30", kInvalid},
    };
    // Zones east and west of UTC: near the ends of the range only one side fails through mktime.
    for (const char* zone : {"UTC0", "EST5EDT,M3.2.0,M11.1.0", "JST-9"}) {
        const CTimeZone local(zone);
        for (const auto& [text, expected] : rows) {
            time_t result = static_cast<time_t>(kUnchanged);
            const uint32_t status = ConvertUtcToTime(text, &result);
            const bool valid = expected != kInvalid;
            EXPECT_EQ(status, valid ? zavToolsLib::ZAV_OK : zavToolsLib::ZAV_E_INVALID_ARG)
                << text << " " << zone;
            EXPECT_EQ(static_cast<int64_t>(result), valid ? expected : kUnchanged)
                << text << " " << zone;
        }
    }
}
