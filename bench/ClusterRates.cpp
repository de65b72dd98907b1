// eq-server at scale, on both engines (not run by the tests):
//  - import: 1,000,000 observances (CSV) through eq-server import into a new SQLite file and a
//    new PostgreSQL database, in rows per second;
//  - queries: a private PostgreSQL cluster with the demo data, 1 then 2 eq-server instances, a
//    fixed number of client threads posting query documents round robin over the instances for
//    a fixed time: queries per second, p50 and p99 latency.
//   bench_cluster_rates [--rows N] [--seconds S] [--clients C]
// The cluster runs without fsync (a test cluster) but with 512 MB of shared buffers; on one small
// machine, clients, servers and PostgreSQL share the same cores.
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "EventStore.h"
#include "PgCluster.h"
#include "Processes.h"
#include "cml/CmlMessage.h"
#include "cml/EventQueryMessages/GetObservancesByAddressRequest.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesByGroupRequest.h"

namespace {

using namespace zav::cml;
using Clock = std::chrono::steady_clock;

constexpr int64_t kEnd = 1765000000;  // the demo data's last instant

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// A mix like a console's: observances of a /26 over two days, open vulnerabilities of a group
// over a week; 100 items at most.
std::string Request(std::mt19937& random) {
    const int64_t to = kEnd - static_cast<int64_t>(random() % (20 * 86400));
    std::unique_ptr<CEventQueryRequest> request;
    if (random() % 2 == 0) {
        auto r = std::make_unique<CGetObservancesByAddressRequest>(L"r-1");
        const uint32_t net = 1 + random() % 2, low = (random() % 4) * 64;
        r->SetStartAddress(Wide("10.0." + std::to_string(net) + "." + std::to_string(low)).c_str());
        r->SetEndAddress(
            Wide("10.0." + std::to_string(net) + "." + std::to_string(low + 63)).c_str());
        r->SetAddressType(L"ipv4");
        r->SetStartTime(Wide(eqsrv::FormatTime(to - 2 * 86400)));
        request = std::move(r);
    } else {
        auto r = std::make_unique<CGetVulnerabilitiesByGroupRequest>(L"r-1");
        r->SetGroupId(Wide(std::to_string(1 + random() % 5)));
        r->SetStartTime(Wide(eqsrv::FormatTime(to - 7 * 86400)));
        request = std::move(r);
    }
    request->SetEndTime(Wide(eqsrv::FormatTime(to)));
    request->SetCount(100);
    CCmlMessage message(CAgentInfo(L"urn:bench", L"bench", L"127.0.0.1", L"", L"agent-1", L"", L""),
                        L"m-1");
    message.AddRequest(std::move(request));
    std::ostringstream text;
    message.Serialize(text);
    return text.str();
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void Import(const std::string& engine, const std::string& db, const std::string& file,
            size_t rows) {
    const auto start = Clock::now();
    const eqtest::Result r =
        eqtest::RunProcess({EQ_TEST_SERVER, "import", "observances", file, "--db", db});
    const double took = Seconds(Clock::now() - start);
    if (r.exitCode != 0) {
        std::printf("%-10s import failed: %s\n", engine.c_str(), r.err.c_str());
        return;
    }
    std::printf("%-10s %zu rows in %.1f s: %.0f rows/s\n", engine.c_str(), rows, took,
                static_cast<double>(rows) / took);
}

void Load(const std::vector<std::string>& urls, int clients, int seconds) {
    std::vector<std::vector<double>> latencies(static_cast<size_t>(clients));
    std::atomic<int> failures{0};
    const auto until = Clock::now() + std::chrono::seconds(seconds);
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            std::mt19937 random(static_cast<unsigned>(c + 1));
            std::vector<std::unique_ptr<httplib::Client>> servers;
            for (const std::string& url : urls) {
                servers.push_back(std::make_unique<httplib::Client>(url));
                servers.back()->set_read_timeout(60, 0);
            }
            for (size_t i = static_cast<size_t>(c); Clock::now() < until; ++i) {
                const std::string body = Request(random);
                const auto start = Clock::now();
                auto answer = servers[i % servers.size()]->Post(
                    "/zav/event_query_services", body, "application/x-zav-cml-data; charset=UTF-8");
                if (!answer || answer->status != 200) {
                    ++failures;
                    continue;
                }
                latencies[static_cast<size_t>(c)].push_back(Seconds(Clock::now() - start) * 1000);
            }
        });
    }
    for (std::thread& t : threads) t.join();
    std::vector<double> all;
    for (const auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
    std::sort(all.begin(), all.end());
    if (all.empty()) {
        std::printf("no answers\n");
        return;
    }
    auto at = [&](double p) { return all[std::min(all.size() - 1, size_t(p * all.size()))]; };
    std::printf(
        "%zu instance(s), %d clients: %.0f queries/s, p50 %.1f ms, p99 %.1f ms, %d failed\n",
        urls.size(), clients, static_cast<double>(all.size()) / seconds, at(0.50), at(0.99),
        failures.load());
}

}  // namespace

int main(int argc, char** argv) {
    size_t rows = 1000000;
    int seconds = 10;
    int clients = 8;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--rows") rows = std::stoul(argv[i + 1]);
        if (name == "--seconds") seconds = std::stoi(argv[i + 1]);
        if (name == "--clients") clients = std::stoi(argv[i + 1]);
    }
    if (eqtest::CPgCluster::BinDir().empty()) {
        std::fprintf(stderr, "PostgreSQL server programs not found (scripts/setup)\n");
        return 1;
    }
    eqtest::CTempDir dir;
    // Sized like a small production server rather than like the tests' clusters.
    eqtest::CPgCluster cluster("-c shared_buffers=512MB -c max_wal_size=4GB");

    // Import: the same file into each engine.
    const std::string file = dir.Path() + "/observances.csv";
    {
        std::ofstream out(file);
        out << "time,source,target,sensor,type_id,name,count,severity\n";
        std::mt19937 random(1);
        for (size_t i = 0; i < rows; ++i) {
            out << (kEnd - static_cast<int64_t>(random() % (30 * 86400))) << ",198.51.100."
                << random() % 256 << ",10.0." << 1 + random() % 2 << "." << random() % 256
                << ",10.0.1.250," << 1 + random() % 9 << ",Port scan," << 1 + random() % 20 << ","
                << random() % 10 << "\n";
        }
    }
    std::printf("import of %zu observances (CSV)\n", rows);
    Import("sqlite", dir.Path() + "/import.db", file, rows);
    Import("postgresql", cluster.CreateDatabase("import"), file, rows);

    // Queries: the demo data, one database, 1 and 2 instances.
    const std::string db = cluster.CreateDatabase("demo");
    for (const char* step : {"migrate", "demo-db"}) {
        std::vector<std::string> args = {EQ_TEST_SERVER, step};
        if (std::string(step) == "migrate") {
            args.insert(args.end(), {"--db", db});
        } else {
            args.insert(args.end(), {db, "--end", std::to_string(kEnd)});
        }
        const eqtest::Result r = eqtest::RunProcess(args);
        if (r.exitCode != 0) {
            std::fprintf(stderr, "%s failed: %s\n", step, r.err.c_str());
            return 1;
        }
    }
    eqtest::CServerProcess first({"--db", db});
    eqtest::CServerProcess second({"--db", db});
    std::printf("queries (demo data on PostgreSQL, %d s each)\n", seconds);
    Load({first.Url()}, clients, seconds);
    Load({first.Url(), second.Url()}, clients, seconds);
    return 0;
}
