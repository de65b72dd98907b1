// eq-server and eq-query as real processes: what each query selects on both engines, and the
// exit statuses.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "PgCluster.h"
#include "Processes.h"
#include "StoreAdmin.h"

namespace eqtest {
namespace {

// A few rows around each boundary a query has, on a new SQLite file or PostgreSQL database.
class Queries : public ::testing::TestWithParam<const char*> {};

INSTANTIATE_TEST_SUITE_P(Engines, Queries, ::testing::Values("sqlite", "postgresql"));

TEST_P(Queries, EachQuerySelectsExactlyItsRowsInOrder) {
    CTempDir dir;
    std::string db = dir.Path() + "/q.db";
    if (std::string(GetParam()) == "postgresql") {
        if (CPgCluster::BinDir().empty()) GTEST_SKIP() << "PostgreSQL server programs not found";
        db = CPgCluster::Shared().CreateDatabase("queries");
    }
    auto admin = eqsrv::CAdminDb::Open(db, true);
    admin->Migrate();
    // 10.0.0.1 to .4 as h1 to h4; group a holds h2 and h4, group b h1. The window is kEnd - 200
    // to kEnd (05:43:20 to 05:46:40); v6 and v7 lie just outside it, v3 is fixed.
    admin->Exec(
        "INSERT INTO hosts (id, address, name) VALUES (1, 167772161, 'h1'), (2, 167772162, 'h2'), "
        "(3, 167772163, 'h3'), (4, 167772164, 'h4');"
        "INSERT INTO host_groups (id) VALUES ('a'), ('b');"
        "INSERT INTO memberships (group_id, host_id) VALUES ('a', 2), ('a', 4), ('b', 1);"
        "INSERT INTO vulnerabilities (id, host_id, identifier, name, first_seen, last_seen) VALUES "
        "(1, 1, 'CVE-1', 'v1', 1764999800, 1764999900), (2, 2, 'CVE-2', 'v2', 1764999800, "
        "1764999950),"
        "(4, 3, 'CVE-4', 'v4', 1764999800, 1765000000), (5, 4, 'CVE-5', 'v5', 1764999800, "
        "1764999800),"
        "(6, 4, 'CVE-6', 'v6', 1764999700, 1764999799), (7, 2, 'CVE-7', 'v7', 1764999800, "
        "1765000001);"
        "INSERT INTO vulnerabilities VALUES "
        "(3, 2, 'CVE-3', 'v3', 9, 443, 'tcp', 1764999800, 1764999950, 1, 1765000000);"
        "INSERT INTO observances VALUES (1, 1764999990, 167772161, 168364297, NULL, 1, 'o1', 1, 0),"
        "(2, 1764999990, 168364297, 167772161, NULL, 2, 'o2', 1, 0),"
        "(3, 1764999995, 168364297, NULL, 167772161, 3, 'o3', 4, 6),"
        "(4, 1764999995, 167772160, 167772162, NULL, 1, 'o4', 1, 0),"
        "(5, 1765000001, 167772161, NULL, NULL, 1, 'o5', 1, 0)");
    CServerProcess server({"--db", db});
    const struct {
        const char* query;  // besides the window
        const char* rows;   // after the header, ";" for each line end
    } cases[] = {
        {"vulns --address 10.0.0.2-10.0.0.3 --fields=name", "2,v2;4,v4;"},
        {"vulns --address 10.0.0.2-10.0.0.3 --fixed",
         "3,10.0.0.2,h2,CVE-3,v3,9,443,tcp,2025-12-06T05:43:20Z,2025-12-06T05:45:50Z,true,"
         "2025-12-06T05:46:40Z;"},
        {"vulns --group a --fields=name", "5,v5;2,v2;"},
        {"vulns --group a --fields=name --count 1", "5,v5;"},
        // Types 2 and 8 are left out unless asked for; no analysis flag is source or target.
        {"observances --address 10.0.0.1 --fields=name", "1,o1;"},
        {"observances --address 10.0.0.1 --fields=name --types 1,2,3", "1,o1;2,o2;"},
        {"observances --address 10.0.0.1 --fields=name --types 1 --exclude", "2,o2;"},
        {"observances --address 10.0.0.1 --fields=name --types 1,2 --analysis target", "2,o2;"},
        {"observances --address 10.0.0.1 --fields=name --types 1,2 --analysis source", "1,o1;"},
        {"observances --address 10.0.0.1 --types 3 --analysis sensor",
         "3,2025-12-06T05:46:35Z,10.9.9.9,,10.0.0.1,3,o3,4,6;"},
        {"observances --group b --fields=name --types 1,2,3 --analysis target,sensor",
         "2,o2;3,o3;"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {EQ_TEST_QUERY};
        std::istringstream words(std::string(c.query) + " --format csv --server " + server.Url() +
                                 " --from 2025-12-06T05:43:20Z --to 2025-12-06T05:46:40Z");
        for (std::string word; words >> word;) args.push_back(word);
        const Result r = RunProcess(args);
        std::string rows = r.out.substr(std::min(r.out.size(), r.out.find("\r\n") + 2));
        for (size_t at; (at = rows.find("\r\n")) != std::string::npos;) rows.replace(at, 2, ";");
        EXPECT_EQ(rows, c.rows) << c.query << ": " << r.err;
    }
}

class EndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = std::make_unique<CTempDir>();
        s_db = DemoDb(s_dir->Path() + "/demo.db");
        s_server = std::make_unique<CServerProcess>(std::vector<std::string>{"--db", s_db});
    }
    static void TearDownTestSuite() {
        s_server.reset();
        s_dir.reset();
    }

    static Result Query(std::vector<std::string> args) {
        args.insert(args.begin(), EQ_TEST_QUERY);
        args.insert(args.end(), {"--server", s_server->Url()});
        return RunProcess(args);
    }

    static std::unique_ptr<CTempDir> s_dir;
    static std::string s_db;
    static std::unique_ptr<CServerProcess> s_server;
};

std::unique_ptr<CTempDir> EndToEnd::s_dir;
std::string EndToEnd::s_db;
std::unique_ptr<CServerProcess> EndToEnd::s_server;

TEST_F(EndToEnd, UsageErrorsExitTwoAndFailuresExitOne) {
    const std::vector<std::vector<std::string>> usage = {
        {"vulns"},                                                         // no selector
        {"vulns", "--address", "10.0.1.1", "--group", "1"},                // both
        {"vulns", "--address", "10.0.1.1", "--from", "yesterday"},         // unreadable time
        {"vulns", "--address", "10.0.1.1", "--from", "1d", "--to", "2d"},  // reversed range
        {"vulns", "--address", "10.0.1.1", "--types", "2"},                // observance option
        {"observances", "--address", "10.0.1.1", "--analysis", "nowhere"},
        {"observances", "--address", "10.0.1.1", "--exclude"},  // excluding nothing
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
    const std::string url = CServerProcess({"--db", s_db}).Url();
    const Result down =
        RunProcess({EQ_TEST_QUERY, "vulns", "--address", "10.0.1.1", "--server", url});
    EXPECT_EQ(down.exitCode, 1);
    EXPECT_NE(down.err.find("0x47590025"), std::string::npos) << down.err;
}

}  // namespace
}  // namespace eqtest
