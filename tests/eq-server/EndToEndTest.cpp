// eq-server on a temporary demo database and eq-query against it, both as real processes.
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "Oracle.h"
#include "Processes.h"

namespace eqtest {
namespace {

// The demo data's last instant: fixed, so that every run sees the same rows.
constexpr int64_t kEnd = 1765000000;  // 2025-12-06T05:46:40Z

std::string Iso(int64_t t) {
    const time_t value = static_cast<time_t>(t);
    tm parts{};
    gmtime_r(&value, &parts);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string Dotted(uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 255) + "." +
           std::to_string((a >> 8) & 255) + "." + std::to_string(a & 255);
}

class EndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = std::make_unique<CTempDir>();
        s_db = s_dir->Path() + "/demo.db";
        const Result made =
            RunProcess({EQ_TEST_SERVER, "demo-db", s_db, "--end", std::to_string(kEnd)});
        ASSERT_EQ(made.exitCode, 0) << made.err;
        s_server = std::make_unique<CServerProcess>(std::vector<std::string>{"--db", s_db});
    }
    static void TearDownTestSuite() {
        s_server.reset();
        s_dir.reset();
    }

    static Result Query(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
        args.insert(args.begin(), EQ_TEST_QUERY);
        args.insert(args.end(), {"--server", s_server->Url()});
        return RunProcess(args, env);
    }

    static std::vector<OracleRow> Jsonl(const std::string& text) {
        std::vector<OracleRow> rows;
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            OracleRow row;
            const nlohmann::json object = nlohmann::json::parse(line);
            for (auto it = object.begin(); it != object.end(); ++it) {
                row[it.key()] = it.value().get<std::string>();
            }
            rows.push_back(std::move(row));
        }
        return rows;
    }

    // Random queries of one kind: each answer must equal the oracle's rows, in order.
    static void CompareRandomQueries(bool vulns, bool byGroup, unsigned seed, int queries) {
        std::mt19937 random(seed);
        auto pick = [&](uint32_t bound) { return static_cast<uint32_t>(random() % bound); };
        size_t nonEmpty = 0;
        for (int i = 0; i < queries; ++i) {
            OracleQuery q;
            q.vulns = vulns;
            std::vector<std::string> args = {vulns ? "vulns" : "observances", "--format", "jsonl"};
            if (byGroup) {
                q.group = std::to_string(1 + pick(6));  // group 6 does not exist
                args.insert(args.end(), {"--group", q.group});
            } else {
                const uint32_t base = (10u << 24) | ((1 + pick(2)) << 8);
                q.low = base + pick(256);
                q.high = pick(4) == 0 ? q.low : std::min(base + 255, q.low + pick(120));
                // Observances come from outside too: sometimes cover 192.0.2.0/24.
                if (!vulns && pick(4) == 0) {
                    q.low = (192u << 24) | (2u << 8) | pick(128);
                    q.high = q.low + pick(120);
                }
                args.insert(args.end(),
                            {"--address", q.low == q.high ? Dotted(q.low)
                                                          : Dotted(q.low) + "-" + Dotted(q.high)});
            }
            q.to = kEnd - pick(20) * 86400 - pick(86400);
            q.from = q.to - 3600 - pick(10 * 86400);
            args.insert(args.end(), {"--from", Iso(q.from), "--to", Iso(q.to)});
            const uint32_t counts[] = {0, 1, 7, 40};
            q.count = counts[pick(4)];
            if (q.count != 0) args.insert(args.end(), {"--count", std::to_string(q.count)});
            if (vulns && pick(3) == 0) {
                q.fixed = true;
                args.push_back("--fixed");
            }
            if (!vulns) {
                if (pick(3) != 0) {
                    q.typesGiven = true;
                    std::string list;
                    for (int t = 1; t <= 9; ++t) {
                        if (pick(3) != 0) continue;
                        q.types.push_back(t);
                        list += (list.empty() ? "" : ",") + std::to_string(t);
                    }
                    if (list.empty()) {
                        q.types = {4};
                        list = "4";
                    }
                    args.insert(args.end(), {"--types", list});
                    q.exclude = pick(2) == 0;
                    if (q.exclude) args.push_back("--exclude");
                }
                if (pick(2) == 0) {
                    std::string analysis;
                    q.source = pick(2) == 0;
                    q.target = pick(2) == 0;
                    q.sensor = pick(2) == 0;
                    if (!q.source && !q.target && !q.sensor) q.sensor = true;
                    for (auto [on, name] :
                         {std::pair{q.source, "source"}, std::pair{q.target, "target"},
                          std::pair{q.sensor, "sensor"}}) {
                        if (on) analysis += (analysis.empty() ? "" : ",") + std::string(name);
                    }
                    args.insert(args.end(), {"--analysis", analysis});
                }
            }
            std::vector<OracleRow> expected = OracleRows(s_db, q);
            // Now and then only some fields: the rows keep exactly those.
            if (pick(4) == 0 && !expected.empty()) {
                const std::string field = vulns ? "identifier" : "source-address";
                args.insert(args.end(), {"--fields", "name," + field});
                for (OracleRow& row : expected) {
                    row = {{"result-id", row["result-id"]},
                           {"name", row["name"]},
                           {field, row[field]}};
                }
            }
            const Result r = Query(args);
            ASSERT_EQ(r.exitCode, 0) << r.err;
            const std::vector<OracleRow> rows = Jsonl(r.out);
            ASSERT_EQ(rows, expected) << "query " << i << ":" << [&] {
                std::string text;
                for (const auto& a : args) text += " " + a;
                return text;
            }();
            nonEmpty += rows.empty() ? 0 : 1;
        }
        // Random queries that all come back empty would compare nothing.
        EXPECT_GT(nonEmpty, static_cast<size_t>(queries / 3));
    }

    static std::unique_ptr<CTempDir> s_dir;
    static std::string s_db;
    static std::unique_ptr<CServerProcess> s_server;
};

std::unique_ptr<CTempDir> EndToEnd::s_dir;
std::string EndToEnd::s_db;
std::unique_ptr<CServerProcess> EndToEnd::s_server;

TEST_F(EndToEnd, VulnerabilitiesByAddressMatchTheDatabase) {
    CompareRandomQueries(true, false, 1, EQ_TEST_QUERIES);
}
TEST_F(EndToEnd, VulnerabilitiesByGroupMatchTheDatabase) {
    CompareRandomQueries(true, true, 2, EQ_TEST_QUERIES);
}
TEST_F(EndToEnd, ObservancesByAddressMatchTheDatabase) {
    CompareRandomQueries(false, false, 3, EQ_TEST_QUERIES);
}
TEST_F(EndToEnd, ObservancesByGroupMatchTheDatabase) {
    CompareRandomQueries(false, true, 4, EQ_TEST_QUERIES);
}

TEST_F(EndToEnd, FormatsCarryTheSameRows) {
    const std::vector<std::string> base = {
        "vulns", "--address", "10.0.1.1-10.0.1.40", "--from", Iso(kEnd - 86400), "--to", Iso(kEnd)};
    auto with = [&](const char* format) {
        std::vector<std::string> args = base;
        args.insert(args.end(), {"--format", format});
        const Result r = Query(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out;
    };
    const std::vector<OracleRow> rows = Jsonl(with("jsonl"));
    ASSERT_GT(rows.size(), 1u);

    const nlohmann::json array = nlohmann::json::parse(with("json"));
    ASSERT_EQ(array.size(), rows.size());
    EXPECT_EQ(array[0]["result-id"], rows[0].at("result-id"));

    // CSV: a header, then one line per row; a value with a comma is quoted.
    const std::string csv = with("csv");
    EXPECT_EQ(csv.rfind("result-id,address,host-name,identifier,name,", 0), 0u) << csv;
    EXPECT_EQ(static_cast<size_t>(std::count(csv.begin(), csv.end(), '\n')), rows.size() + 1);

    const std::string table = with("table");
    EXPECT_EQ(table.rfind("result-id", 0), 0u);
    EXPECT_NE(table.find("(" + std::to_string(rows.size()) + " rows)"), std::string::npos);
    EXPECT_NE(table.find(rows.back().at("identifier")), std::string::npos);
}

TEST_F(EndToEnd, UsageErrorsExitTwoAndFailuresExitOne) {
    const std::vector<std::vector<std::string>> usage = {
        {"vulns"},                                                         // no selector
        {"vulns", "--address", "10.0.1.1", "--group", "1"},                // both
        {"vulns", "--address", "10.0.1.1", "--from", "yesterday"},         // unreadable time
        {"vulns", "--address", "10.0.1.1", "--from", "1d", "--to", "2d"},  // reversed range
        {"vulns", "--address", "10.0.1.1", "--types", "2"},                // observance option
        {"observances", "--address", "10.0.1.1", "--analysis", "nowhere"},
        {"vulns", "--address", "10.0.1.1", "--format", "xml"},
        {"lists", "--address", "10.0.1.1"},
    };
    for (const auto& args : usage) {
        const Result r = Query(args);
        EXPECT_EQ(r.exitCode, 2) << args[0] << " " << args.back() << ": " << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    // An address the library lets through but the server cannot read: a refusal, not a crash.
    const Result refused = Query({"vulns", "--address", "10.0.1.999"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("0xc7590008"), std::string::npos) << refused.err;
    const Result after = Query({"vulns", "--address", "10.0.1.9", "--count", "1"});
    EXPECT_EQ(after.exitCode, 0) << after.err;
    // An HTTP error from the first of two servers (a wrong path here) moves on to the second.
    const Result failedOver =
        RunProcess({EQ_TEST_QUERY, "vulns", "--address", "10.0.1.9", "--count", "1", "--server",
                    s_server->Url() + "/wrong-path", "--server", s_server->Url()});
    EXPECT_EQ(failedOver.exitCode, 0) << failedOver.err;
    EXPECT_EQ(failedOver.out, after.out);

    // Nobody listens on the port of a stopped server: the library gives up after its retries.
    CTempDir dir;
    const std::string db = dir.Path() + "/small.db";
    ASSERT_EQ(RunProcess({EQ_TEST_SERVER, "demo-db", db}).exitCode, 0);
    std::string url;
    {
        CServerProcess stopped({"--db", db});
        url = stopped.Url();
    }
    const Result down =
        RunProcess({EQ_TEST_QUERY, "vulns", "--address", "10.0.1.1", "--server", url});
    EXPECT_EQ(down.exitCode, 1);
    EXPECT_NE(down.err.find("0x47590025"), std::string::npos) << down.err;
}

TEST_F(EndToEnd, VerboseShowsTheLibraryTrace) {
    const Result r = Query({"observances", "--group", "2", "--count", "1", "--verbose"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("Processing response"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace eqtest
