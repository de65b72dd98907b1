// eq-server import on both engines: the user's rows become answers, and a bad line loads
// nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "PgCluster.h"
#include "Processes.h"
#include "StoreAdmin.h"

namespace eqtest {
namespace {

void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// The engine is the parameter: a new SQLite file or a new database of the shared cluster.
class Import : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (std::string(GetParam()) == "postgresql" && CPgCluster::BinDir().empty()) {
            GTEST_SKIP() << "PostgreSQL server programs not found in /usr/lib/postgresql/*/bin";
        }
    }
    std::string NewStore(const CTempDir& dir) {
        static int s_databases = 0;
        if (std::string(GetParam()) == "sqlite") return dir.Path() + "/own.db";
        return CPgCluster::Shared().CreateDatabase("import" + std::to_string(++s_databases));
    }
};

INSTANTIATE_TEST_SUITE_P(Engines, Import, ::testing::Values("sqlite", "postgresql"));

TEST_P(Import, CsvAndJsonLinesRowsAreAnswered) {
    CTempDir dir;
    const std::string db = NewStore(dir), d = dir.Path() + "/";
    // A host named twice keeps its last name (a backslash and a comma survive the way in).
    Write(d + "hosts.csv",
          "address,name\n192.168.7.10,first\n192.168.7.10,\"back\\slash, last\"\n");
    Write(d + "groups.csv", "id,name\nweb,\"Web, public\"\n");
    Write(d + "members.csv", "group,address\nweb,192.168.7.10\n");
    Write(d + "vulns.csv",
          "address,identifier,name,severity,port,protocol,first_seen,last_seen,fixed\r\n"
          "192.168.7.10,CVE-2024-0001,\"Quoted \"\"name\"\"\",8,443,tcp,2025-01-01T00:00:00Z,"
          "1735776000,false\r\n");
    Write(d + "obs.jsonl",
          "{\"time\": \"2025-01-02T03:04:05Z\", \"source\": \"203.0.113.9\", "
          "\"target\": \"192.168.7.10\", \"type_id\": 5, \"name\": \"probe\", \"count\": 3}\n\n");
    for (const auto& [kind, file] :
         {std::pair{"hosts", "hosts.csv"}, std::pair{"groups", "groups.csv"},
          std::pair{"memberships", "members.csv"}, std::pair{"vulnerabilities", "vulns.csv"},
          std::pair{"observances", "obs.jsonl"}}) {
        const Result r = RunProcess({EQ_TEST_SERVER, "import", kind, d + file, "--db", db});
        ASSERT_EQ(r.exitCode, 0) << kind << ": " << r.err;
    }
    // Rows that bypassed import, with names XML cannot carry: left out of the answer, which the
    // library must still read.
    const bool sqlite = std::string(GetParam()) == "sqlite";
    const std::pair<const char*, const char*> names[] = {
        {"'x' || char(1)", "'x' || chr(1)"},
        {"char(65535)", "chr(65535)"},
        {"CAST(x'c328' AS TEXT)", nullptr},  // PostgreSQL holds only valid UTF-8
    };
    for (const auto& [inSqlite, inPostgres] : names) {
        const char* name = sqlite ? inSqlite : inPostgres;
        if (name == nullptr) continue;
        eqsrv::CAdminDb::Open(db, false)->Exec(
            std::string("INSERT INTO vulnerabilities (host_id, identifier, name, "
                        "first_seen, last_seen) SELECT id, 'CVE-BAD', ") +
            name + ", 1735689600, 1735776000 FROM hosts");
    }
    CServerProcess server({"--db", db});
    const Result vulns =
        RunProcess({EQ_TEST_QUERY, "vulns", "--group", "web", "--from", "2024-12-01", "--to",
                    "2025-02-01", "--format", "csv", "--fields", "address,host-name,name,last-seen",
                    "--server", server.Url()});
    EXPECT_EQ(vulns.exitCode, 0) << vulns.err;
    EXPECT_EQ(std::count(vulns.out.begin(), vulns.out.end(), '\n'), 2) << vulns.out;  // + header
    EXPECT_NE(vulns.out.find("192.168.7.10,\"back\\slash, last\",\"Quoted \"\"name\"\"\","
                             "2025-01-02T00:00:00Z"),
              std::string::npos)
        << vulns.out;
    const Result obs =
        RunProcess({EQ_TEST_QUERY, "observances", "--address", "192.168.7.10", "--from",
                    "2025-01-02", "--to", "2025-01-03", "--types", "5", "--format", "jsonl",
                    "--fields", "source-address,count", "--server", server.Url()});
    EXPECT_EQ(obs.exitCode, 0) << obs.err;
    EXPECT_NE(obs.out.find("\"source-address\":\"203.0.113.9\",\"count\":\"3\""), std::string::npos)
        << obs.out;
}

// Each file's first line holds the extremes that are allowed (a leap day, severity 10, port
// 65535, a tab); the next one is refused. The message names FILE:LINE and quotes at most a
// short excerpt with control and non-ASCII bytes escaped.
TEST_P(Import, ABadLineIsNamedAndNothingIsLoaded) {
    CTempDir dir;
    const std::string db = NewStore(dir), d = dir.Path() + "/";
    const std::string csv =
        "address,identifier,first_seen,last_seen,severity,port,name\n"
        "10.1.1.1,CVE-1,2024-02-29T23:59:59Z,1735776000,10,65535,a\tb\n10.1.1.2,CVE-2,";
    const std::string json =
        "{\"address\":\"10.1.1.1\",\"identifier\":\"CVE-1\",\"first_seen\":1,\"last_seen\":2}\n"
        "{\"first_seen\":1,\"last_seen\":2,\"address\":\"10.1.1.";
    const struct {
        std::string file, text, expected;
    } bad[] = {
        {"bad.csv", csv + "1,soon,,,\n", ":3: last_seen is not a time"},
        {"bad.csv", csv + "2023-02-29T00:00:00Z,2,,,\n", ":3: first_seen is not a time"},
        {"bad.csv", csv + "1,2024-01-01T24:00:00Z,,,\n", ":3: last_seen is not a time"},
        {"bad.csv", csv + "5,4,,,\n", ":3: last_seen is before first_seen"},
        // Blank lines are skipped but still counted.
        {"bad.csv", "\n\r\n" + csv + "5,4,,,\n", ":5: last_seen is before first_seen"},
        {"bad.csv", csv + "1,2,11,,\n", ":3: severity is not a whole number from 0 to 10"},
        {"bad.csv", csv + "1,2,,-1,\n", ":3: port is not a whole number from 0 to 65535"},
        {"bad.csv", csv + "1,2,,,\x1b[2J\n",
         ":3: name holds a control character at byte 1: \"\\x1b[2J\""},
        {"bad.csv", csv + "1,2,,,x\xc3(\n", ":3: name holds invalid UTF-8 at byte 2"},
        {"bad.csv", csv + "1,2,,,\xef\xbf\xbf\n", ":3: name holds a noncharacter"},
        {"bad.csv", csv + "1,2,,," + std::string(70000, 'x') + "\n", ":3: line longer than"},
        {"bad.jsonl", json + "2\",\"identifier\":\"CVE\\u0000\"}\n",
         ":2: identifier holds a control"},
        {"bad.jsonl", json + "2\",\"identifier\":\"C\",\"severity\":18446744073709551615}",
         ":2: severity is not a whole number from 0 to 10: \"18446744073709551615\""},
        {"bad.jsonl", json + "300\",\"identifier\":\"C\"}", ":2: address is not an IPv4 address"},
        {"/dev/zero", "", ":1: line longer than 65536 bytes"},
    };
    for (const auto& [file, text, expected] : bad) {
        const std::string path = file[0] == '/' ? file : d + file;
        if (file[0] != '/') Write(path, text);
        const Result r = RunProcess({EQ_TEST_SERVER, "import", "vulnerabilities", path, "--db", db,
                                     "--format", file == "bad.jsonl" ? "jsonl" : "csv"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(path + expected), std::string::npos) << r.err;
        EXPECT_LT(r.err.size(), 250u);
        EXPECT_TRUE(std::all_of(r.err.begin(), r.err.end() - (r.err.empty() ? 0 : 1), [](char c) {
            return c >= 0x20 && c < 0x7f;
        })) << r.err;
        // No row, not even the host of the good first line.
        EXPECT_EQ(
            eqsrv::CAdminDb::Open(db, false)->Number(
                "SELECT (SELECT count(*) FROM vulnerabilities) + (SELECT count(*) FROM hosts)"),
            0);
    }
}

}  // namespace
}  // namespace eqtest
