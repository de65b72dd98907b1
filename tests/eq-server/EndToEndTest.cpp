// eq-server on a temporary demo database and eq-query against it, both as real processes.
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>

#include "EventStore.h"
#include "Oracle.h"
#include "Processes.h"
#include "RandomQueries.h"

namespace eqtest {
namespace {

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

    static void Compare(bool vulns, bool byGroup, unsigned seed) {
        CompareRandomQueries(s_db, s_server->Url(), vulns, byGroup, seed, EQ_TEST_QUERIES);
    }

    static std::unique_ptr<CTempDir> s_dir;
    static std::string s_db;
    static std::unique_ptr<CServerProcess> s_server;
};

std::unique_ptr<CTempDir> EndToEnd::s_dir;
std::string EndToEnd::s_db;
std::unique_ptr<CServerProcess> EndToEnd::s_server;

TEST_F(EndToEnd, VulnerabilitiesByAddressMatchTheDatabase) { Compare(true, false, 1); }
TEST_F(EndToEnd, VulnerabilitiesByGroupMatchTheDatabase) { Compare(true, true, 2); }
TEST_F(EndToEnd, ObservancesByAddressMatchTheDatabase) { Compare(false, false, 3); }
TEST_F(EndToEnd, ObservancesByGroupMatchTheDatabase) { Compare(false, true, 4); }

TEST_F(EndToEnd, FormatsCarryTheSameRows) {
    const std::string from = eqsrv::FormatTime(kEnd - 86400), to = eqsrv::FormatTime(kEnd);
    const std::vector<std::string> base = {
        "vulns", "--address", "10.0.1.1-10.0.1.40", "--from", from, "--to", to};
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
        {"vulns", "--address", "foo"},                             // refused by the library
        {"observances", "--address", "10.0.1.1", "--types", "a"},  // the same
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
