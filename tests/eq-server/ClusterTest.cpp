// eq-server on PostgreSQL: index plans, schema versions, and several instances on one database with
// eq-query failing over between them while servers and the database go down and come back. One
// cluster per test process (CPgCluster::Shared).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include "PgCluster.h"
#include "PgStore.h"
#include "Processes.h"
#include "QueryShapes.h"
#include "StoreAdmin.h"

namespace eqtest {
namespace {

#define SKIP_WITHOUT_POSTGRES()                                \
    if (CPgCluster::BinDir().empty())                          \
    GTEST_SKIP() << "PostgreSQL server programs not found in " \
                    "/usr/lib/postgresql/*/bin (scripts/setup installs postgresql-15)"

// A new database of the shared cluster holding the demo data.
std::string NewDemoDatabase(const std::string& name) {
    return DemoDb(CPgCluster::Shared().CreateDatabase(name));
}

TEST(PgStore, EveryQueryKindIsAnIndexScan) {
    SKIP_WITHOUT_POSTGRES();
    eqsrv::CPgConn conn(NewDemoDatabase("plans"));
    // PostgreSQL rightly reads a table of a few pages whole: the plans are checked at a size
    // where a full scan costs more than the answer (172.16.0.0/16 beside the demo hosts).
    conn.Exec(
        "INSERT INTO hosts (address, name) SELECT 2886729728 + g, 'extra' "
        "FROM generate_series(1, 20000) g;"
        "INSERT INTO memberships (group_id, host_id) SELECT 'extra' || (id % 400), id "
        "FROM hosts WHERE address > 2886729728;"
        "INSERT INTO vulnerabilities (host_id, identifier, first_seen, last_seen) "
        "SELECT 301 + g % 20000, 'CVE-0', 1762000000, 1762000000 + g * 30 "
        "FROM generate_series(1, 60000) g;"
        "INSERT INTO observances (time, source, target, type_id) "
        "SELECT 1762400000 + g * 13, 2886729728 + g % 20000, 2886729728 + (g * 7) % 20000, "
        "1 + g % 9 FROM generate_series(1, 200000) g;"
        "ANALYZE");
    // The plan a server settles on for its prepared statements: PostgreSQL switches to the
    // generic plan after a few executions when it costs no more than the custom ones.
    for (const char* mode : {"force_generic_plan", "force_custom_plan"}) {
        conn.Exec(std::string("SET plan_cache_mode = ") + mode);
        eqsrv::StoreQuery base;
        std::tie(base.groupId, base.low, base.high, base.from, base.to, base.limit) =
            std::make_tuple("4", 0x0A000101, 0x0A000110, kEnd - 86400, kEnd, 100);
        for (const eqsrv::StoreQuery& q : EveryQueryShape(base, eqsrv::Position{kEnd - 80000, 17},
                                                          eqsrv::Position{kEnd - 1000, 99})) {
            const eqsrv::SqlQuery sql = eqsrv::BuildSql(q, eqsrv::Dialect::Postgres);
            std::string arguments;
            for (const auto& p : sql.params)
                arguments += (arguments.empty() ? "" : ", ") +
                             (p.isText ? "'" + p.text + "'" : std::to_string(p.number));
            for (const std::string& text : {sql.sql, eqsrv::SummarySql(sql.sql)}) {
                conn.Exec("PREPARE page AS " + text);
                eqsrv::PgResult plan = conn.Run("EXPLAIN EXECUTE page(" + arguments + ")", {});
                conn.Exec("DEALLOCATE page");
                std::string lines;
                for (int i = 0; i < PQntuples(plan.get()); ++i)
                    lines += std::string(PQgetvalue(plan.get(), i, 0)) + "\n";
                SCOPED_TRACE(std::string(mode) + "\n" + text + "\n" + lines);
                // A sequential scan grows with the whole table instead of with the answer.
                EXPECT_EQ(lines.find("Seq Scan"), std::string::npos);
                EXPECT_NE(lines.find("Index"), std::string::npos);
            }
        }
    }
}

// demo-db writes through each engine's bulk path (batched inserts, COPY): the same rows, ids
// included, must arrive in both.
TEST(PgStore, DemoDataIsTheSameRowsOnBothEngines) {
    SKIP_WITHOUT_POSTGRES();
    CTempDir dir;
    const std::string sqlite = DemoDb(dir.Path() + "/demo.db");
    const std::string postgres = NewDemoDatabase("same");
    // Per table: how many rows, and sums over every column (lengths for texts).
    const std::vector<std::string> fingerprints = {
        "SELECT count(*) * 1000000 + sum(length(name)) FROM hosts",
        "SELECT sum((id * address) % 1000000007) FROM hosts",
        "SELECT count(*) * 1000000 + sum(length(id) + length(name)) FROM host_groups",
        "SELECT count(*) * 1000000 + sum(host_id * length(group_id)) FROM memberships",
        "SELECT count(*) * 1000000 + sum(length(identifier) + length(name) + length(protocol)) "
        "FROM vulnerabilities",
        "SELECT sum((id * last_seen + host_id + first_seen + 3 * COALESCE(port, 0) + 5 * fixed + "
        "7 * COALESCE(fixed_time, 0) + 11 * severity) % 1000000007) FROM vulnerabilities",
        "SELECT count(*) * 1000000 + sum(length(name)) FROM observances",
        "SELECT sum((id * time + source + 3 * target + 7 * COALESCE(sensor, 0) + 11 * type_id + "
        "13 * count + 17 * severity) % 1000000007) FROM observances"};
    auto a = eqsrv::CAdminDb::Open(sqlite, false);
    auto b = eqsrv::CAdminDb::Open(postgres, false);
    for (const std::string& sql : fingerprints) EXPECT_EQ(a->Number(sql), b->Number(sql)) << sql;
    EXPECT_EQ(b->Number("SELECT count(*) FROM observances"), 30000);
}

// Every idle connection of the pool broken at once (as by a restart of the database): the next
// requests are answered on new ones, none fails on another stale one.
TEST(PgStore, IdleConnectionsBrokenByTheDatabaseAreReplaced) {
    SKIP_WITHOUT_POSTGRES();
    const std::string db = NewDemoDatabase("idle");
    eqsrv::CPgStore store(db, 3);
    eqsrv::StoreQuery q;
    std::tie(q.byGroup, q.groupId, q.from, q.to, q.limit) =
        std::make_tuple(true, "1", kEnd - 30 * 86400, kEnd, 5);
    auto threeAtOnce = [&] {
        std::unique_ptr<eqsrv::CRowReader> readers[] = {store.Open(q), store.Open(q),
                                                        store.Open(q)};
        for (const auto& reader : readers) EXPECT_EQ(reader->Summary().count, 5u);
    };
    threeAtOnce();  // leaves three idle connections
    // The timeout makes the call wait until each backend has gone.
    EXPECT_GE(eqsrv::CAdminDb::Open(db, false)->Number(
                  "SELECT count(*) FILTER (WHERE pg_terminate_backend(pid, 10000)) "
                  "FROM pg_stat_activity WHERE datname = current_database() "
                  "AND pid <> pg_backend_pid()"),
              3);
    threeAtOnce();
}

// serve, migrate and import on a store written by a newer eq-server: refused, never misread.
TEST(Schema, BothEnginesRefuseANewerSchema) {
    CTempDir dir;
    std::vector<std::string> stores = {dir.Path() + "/store.db"};
    if (!CPgCluster::BinDir().empty()) {
        stores.push_back(CPgCluster::Shared().CreateDatabase("newer"));
        // A database nobody migrated yet is not served either.
        const Result bare =
            RunProcess({"/usr/bin/timeout", "15", EQ_TEST_SERVER, "serve", "--db", stores.back()});
        EXPECT_EQ(bare.exitCode, 1);
        EXPECT_NE(bare.err.find("run eq-server migrate"), std::string::npos) << bare.err;
    }
    const std::string csv = dir.Path() + "/hosts.csv";
    std::ofstream(csv) << "address\n10.9.9.9\n";
    for (const std::string& db : stores) {
        SCOPED_TRACE(db);
        for (const char* out : {"schema version 1 (was 0)\n", "schema version 1 (unchanged)\n"})
            EXPECT_EQ(RunProcess({EQ_TEST_SERVER, "migrate", "--db", db}).out, out);

        eqsrv::CAdminDb::Open(db, false)->Exec("UPDATE schema_version SET version = 2");
        // A server that wrongly starts is stopped by timeout (exit 124), so the test fails at once
        // instead of waiting for the test runner's limit.
        for (const char* what : {"serve", "migrate", "import"}) {
            std::vector<std::string> argv = {"/usr/bin/timeout", "15", EQ_TEST_SERVER, what};
            if (what[0] == 'i') argv.insert(argv.end(), {"hosts", csv});
            argv.insert(argv.end(), {"--db", db});
            const Result r = RunProcess(argv);
            EXPECT_EQ(r.exitCode, 1) << what;
            EXPECT_NE(r.err.find("schema version 2, newer than this eq-server's 1"),
                      std::string::npos)
                << what << ": " << r.err;
        }
        EXPECT_EQ(eqsrv::CAdminDb::Open(db, false)->Number("SELECT count(*) FROM hosts"), 0);
    }
    // A file from before the version table is brought up to it.
    eqsrv::CAdminDb::Open(stores[0], false)->Exec("DROP TABLE schema_version");
    const Result upgraded = RunProcess({EQ_TEST_SERVER, "migrate", "--db", stores[0]});
    EXPECT_EQ(upgraded.out, "schema version 1 (was 0)\n") << upgraded.err;
    EXPECT_EQ(eqsrv::CAdminDb::Open(stores[0], false)->SchemaVersion(), 1);
}

// The i-th query of a load, both kinds by group and by address over windows a day apart.
std::vector<std::string> LoadQuery(size_t i) {
    const int64_t to = kEnd - static_cast<int64_t>(i % 20) * 86400;
    const std::string net = "10.0." + std::to_string(1 + i % 2) + ".";
    std::vector<std::string> args = {EQ_TEST_QUERY, i % 2 ? "observances" : "vulns",
                                     "--from",      eqsrv::FormatTime(to - 10 * 86400),
                                     "--to",        eqsrv::FormatTime(to),
                                     "--format",    "jsonl",
                                     "--count",     "200"};
    const bool group = i % 3 == 0;
    args.insert(args.end(), {group ? "--group" : "--address",
                             group ? std::to_string(1 + i % 5)
                                   : net + std::to_string(i % 50) + "-" + net + "200"});
    return args;
}

// eq-query with the query's arguments and then more.
Result RunQuery(std::vector<std::string> args, const std::vector<std::string>& more,
                const std::vector<std::string>& env = {}) {
    args.insert(args.end(), more.begin(), more.end());
    return RunProcess(args, env);
}

// Which server of eq-query's list answered: the library's trace names the index of each try.
int AnsweringServer(const std::string& trace) {
    const std::string mark = "Dispatching data to server index #";
    const size_t at = trace.rfind(mark);
    return at == std::string::npos ? -1 : std::atoi(trace.c_str() + at + mark.size());
}

// Queries from several eq-query processes at once against two instances on one database: the
// primary is killed in the middle and later started again on its port.
TEST(Cluster, QueriesFailOverAndReturnToThePrimary) {
    SKIP_WITHOUT_POSTGRES();
    const std::string db = NewDemoDatabase("failover");
    CServerProcess primary({"--db", db}), second({"--db", db});

    // A job's phases when it started and ended: 0 both up, 1 primary down, 2 primary starting,
    // 3 back.
    struct Job {
        std::vector<std::string> query;
        std::string expected;  // the second's answer before the primary goes
        int phase = 0, endPhase = 0;
        Result result;
    };
    std::vector<Job> jobs(EQ_TEST_FAILOVER_QUERIES);
    for (size_t i = 0; i < jobs.size(); ++i) {
        jobs[i].query = LoadQuery(i);
        jobs[i].expected = RunQuery(jobs[i].query, {"--server", second.Url()}).out;
    }

    std::mutex mutex;
    std::condition_variable changed;
    size_t next = 0, finished = 0, downOnlyFinished = 0;
    int phase = 0;
    auto worker = [&] {
        for (;;) {
            Job* job = nullptr;
            {
                // No query starts while the primary is starting again: each one then belongs
                // to a phase with a clear expectation.
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return phase != 2; });
                if (next == jobs.size()) return;
                job = &jobs[next++];
                job->phase = phase;
            }
            job->result = RunQuery(
                job->query, {"--verbose", "--server", primary.Url(), "--server", second.Url()});
            {
                std::lock_guard<std::mutex> lock(mutex);
                job->endPhase = phase;
                ++finished;
                if (job->phase == 1 && phase == 1) ++downOnlyFinished;
            }
            changed.notify_all();
        }
    };
    std::vector<std::thread> workers;
    for (size_t i = 0; i < EQ_TEST_FAILOVER_CLIENTS; ++i) workers.emplace_back(worker);
    // The primary goes after a quarter of the queries and comes back once as many queries as
    // there are clients were answered while it was away; a good part is left for its return.
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return finished >= jobs.size() / 4; });
        primary.Kill();  // under the lock: no query starts while it goes
        phase = 1;
        changed.wait(lock, [&] {
            return downOnlyFinished >= EQ_TEST_FAILOVER_CLIENTS || finished == jobs.size();
        });
        phase = 2;
    }
    // Started again outside the lock (queries keep finishing meanwhile), on the same port.
    CServerProcess restarted({"--db", db}, primary.Port());
    {
        std::lock_guard<std::mutex> lock(mutex);
        phase = 3;
    }
    changed.notify_all();
    for (std::thread& t : workers) t.join();

    int downOnly = 0, afterwards = 0;  // started and ended while the primary was down; after
    for (size_t i = 0; i < jobs.size(); ++i) {
        const Job& job = jobs[i];
        SCOPED_TRACE("query " + std::to_string(i) + " phases " + std::to_string(job.phase) +
                     " to " + std::to_string(job.endPhase));
        if (job.result.exitCode != 0) {
            // Only a query under way on the primary when it died may fail, with the library's
            // status on stderr and exit 1; every other one must be answered.
            EXPECT_EQ(job.phase, 0) << job.result.err;
            EXPECT_EQ(job.result.exitCode, 1);
            EXPECT_NE(job.result.err.find("[ID=0x"), std::string::npos) << job.result.err;
            continue;
        }
        // The whole answer, once: rows missing, repeated or out of order all differ here.
        EXPECT_EQ(job.result.out, job.expected);
        // A query that started while the primary was down may still find it back on a retry.
        // The primary is down: the second answers; back, every new query starts at the primary.
        const int server = AnsweringServer(job.result.err);
        const bool downOnlyJob = job.phase == 1 && job.endPhase == 1;
        if (downOnlyJob || job.phase == 3) {
            EXPECT_EQ(server, downOnlyJob ? 1 : 0);
        }
        downOnly += downOnlyJob;
        afterwards += job.phase == 3;
    }
    // Each phase had queries of its own, or the test proved less than it claims.
    EXPECT_GT(downOnly, 0);
    EXPECT_GT(afterwards, 0);
    EXPECT_TRUE(second.Running());
}

// The database restarts while a server is under load: the same server process answers again
// afterwards, with its idle connections replaced (users checked through their own connection).
TEST(Cluster, ServersReconnectAfterTheDatabaseRestarts) {
    SKIP_WITHOUT_POSTGRES();
    const std::string db = NewDemoDatabase("restart");
    eqsrv::SetUserPassword(db, "ops", "secret");
    CServerProcess server({"--db", db, "--require-auth", "--allow-insecure-auth", "--pool", "3"});
    auto run = [&](size_t i) {
        return RunQuery(LoadQuery(i % 24), {"--user", "ops", "--server", server.Url()},
                        {"EQ_QUERY_PASSWORD=secret"});
    };
    std::vector<std::string> expected;  // answers before the database goes down
    for (size_t i = 0; i < 24; ++i) expected.push_back(run(i).out);
    // Load: queries keep coming while the database goes down and up; those that fail meanwhile
    // fail cleanly, those answered are right.
    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    std::vector<std::thread> load;
    for (size_t t = 0; t < 3; ++t) {
        load.emplace_back([&, t] {
            for (size_t i = t; !stop; i += 3) {
                const Result r = run(i);
                EXPECT_TRUE(r.exitCode == 0 ? r.out == expected[i % expected.size()]
                                            : r.exitCode == 1)
                    << r.exitCode << ": " << r.out << r.err;
                answered += r.exitCode == 0;
            }
        });
    }
    for (int restarts = 0; restarts < 2; ++restarts) CPgCluster::Shared().Restart();
    stop = true;
    for (std::thread& t : load) t.join();
    EXPECT_GT(answered.load(), 0);

    // Once more with the server idle: every pooled connection is now a broken one.
    CPgCluster::Shared().Restart();
    for (size_t i = 0; i < expected.size(); ++i) {
        const Result r = run(i);
        ASSERT_EQ(r.exitCode, 0) << "query " << i << ": " << r.err;
        EXPECT_EQ(r.out, expected[i]);
    }
    EXPECT_TRUE(server.Running());  // the same process throughout
}

}  // namespace
}  // namespace eqtest
