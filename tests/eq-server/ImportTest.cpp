// eq-server import on both engines: the user's rows become answers, and a bad line loads
// nothing.
#include <gtest/gtest.h>

#include <fstream>

#include "PgCluster.h"
#include "Processes.h"
#include "StoreAdmin.h"

namespace eqtest {
namespace {

void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

int64_t Count(const std::string& db, const std::string& table) {
    return eqsrv::CAdminDb::Open(db, false)->Number("SELECT count(*) FROM " + table);
}

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
    CServerProcess server({"--db", db});
    const Result vulns =
        RunProcess({EQ_TEST_QUERY, "vulns", "--group", "web", "--from", "2024-12-01", "--to",
                    "2025-02-01", "--format", "csv", "--fields", "address,host-name,name,last-seen",
                    "--server", server.Url()});
    EXPECT_EQ(vulns.exitCode, 0) << vulns.err;
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

TEST_P(Import, ABadLineIsNamedAndNothingIsLoaded) {
    CTempDir dir;
    const std::string db = NewStore(dir), d = dir.Path() + "/";
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"vulns.csv",
         "address,identifier,first_seen,last_seen\n10.1.1.1,CVE-1,1,2\n10.1.1.2,CVE-2,1,soon\n"},
        {"vulns.jsonl",
         "{\"address\":\"10.1.1.1\",\"identifier\":\"CVE-1\",\"first_seen\":1,\"last_seen\":2}\n"
         "{\"address\":\"10.1.1.300\",\"identifier\":\"CVE-2\",\"first_seen\":1,\"last_seen\":2}"},
    };
    for (const auto& [file, text] : bad) {
        Write(d + file, text);
        const Result r =
            RunProcess({EQ_TEST_SERVER, "import", "vulnerabilities", d + file, "--db", db});
        EXPECT_EQ(r.exitCode, 1);
        const std::string line = file == "vulns.csv" ? ":3: " : ":2: ";
        EXPECT_NE(r.err.find(file + line), std::string::npos) << r.err;
        EXPECT_EQ(Count(db, "vulnerabilities"), 0);
        EXPECT_EQ(Count(db, "hosts"), 0);  // the hosts of the good first line went too
    }
}

}  // namespace
}  // namespace eqtest
