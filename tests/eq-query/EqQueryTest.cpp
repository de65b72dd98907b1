// eq-query's own parsing and output, where a slip shows only in what a script reads.
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include "Options.h"
#include "Output.h"

namespace eqquery {
namespace {

TEST(EqQueryTime, OffsetsAndRelativeTimesLandOnTheRightInstant) {
    const time_t now = 1764576000;  // 2025-12-01T08:00:00Z
    const struct {
        const char* text;
        bool ok;
        time_t expected;
    } rows[] = {
        {"2025-12-01T09:00:00+01:00", true, 1764576000},
        {"2025-12-01T05:30:00-02:30", true, 1764576000},
        {"2025-12-01T08:00:00Z", true, 1764576000},
        {"2025-12-01T08:00:00", true, 1764576000},
        {"2025-12-01", true, 1764547200},
        {"90s", true, now - 90},
        {"7d", true, now - 7 * 86400},
        {"now", true, now},
        {"2025-12-01T09:00:00+0100", false, 0},
        {"2025-13-01", false, 0},
        {"24x", false, 0},
        {"-5m", false, 0},
        {"99999999999999999999s", false, 0},  // beyond long long
        {"9223372036854775807w", false, 0},   // beyond it once in seconds
    };
    for (const auto& row : rows) {
        time_t result = 0;
        EXPECT_EQ(ParseTime(row.text, now, result), row.ok) << row.text;
        EXPECT_EQ(row.ok ? result : 0, row.expected) << row.text;
    }
}

std::string Printed(const std::string& format, const std::vector<Item>& items) {
    std::ostringstream out;
    std::streambuf* saved = std::cout.rdbuf(out.rdbuf());
    COutput output(format, {});
    for (const Item& item : items) output.Row(item);
    output.Finish();
    std::cout.rdbuf(saved);
    return out.str();
}

TEST(EqQueryOutput, EachFormatKeepsRowsApart) {
    const std::vector<Item> items = {
        {"1", {{"name", "plain"}, {"note", "a,b"}}},
        {"2", {{"name", "cr\ronly"}, {"note", "say \"hi\""}}},
        {"3", {{"name", "lf\nonly"}, {"note", ""}}},
    };
    EXPECT_EQ(Printed("csv", items),
              "result-id,name,note\r\n1,plain,\"a,b\"\r\n2,\"cr\ronly\",\"say \"\"hi\"\"\"\r\n"
              "3,\"lf\nonly\",\r\n");
    EXPECT_EQ(Printed("json", {}), "[]\n");
    EXPECT_EQ(Printed("json", items),
              "[\n  {\"result-id\":\"1\",\"name\":\"plain\",\"note\":\"a,b\"},\n"
              "  {\"result-id\":\"2\",\"name\":\"cr\\ronly\",\"note\":\"say \\\"hi\\\"\"},\n"
              "  {\"result-id\":\"3\",\"name\":\"lf\\nonly\",\"note\":\"\"}\n]\n");
    EXPECT_EQ(Printed("jsonl", items),
              "{\"result-id\":\"1\",\"name\":\"plain\",\"note\":\"a,b\"}\n"
              "{\"result-id\":\"2\",\"name\":\"cr\\ronly\",\"note\":\"say \\\"hi\\\"\"}\n"
              "{\"result-id\":\"3\",\"name\":\"lf\\nonly\",\"note\":\"\"}\n");
    EXPECT_EQ(Printed("table", {items[0]}),
              "result-id  name   note\n---------  -----  ----\n1          plain  a,b\n(1 row)\n");
}

}  // namespace
}  // namespace eqquery
