// eq-server's peak memory for one answer as the page size grows: answers are written as their
// rows are read, so the growth must stay about the same while the answer grows a thousandfold.
// Each page size gets a fresh server on the demo database grown to 120,000 observances; the
// figure is the growth of the server's VmHWM over one warm-up query.
//   bench_server_memory
#include <httplib.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "Processes.h"
#include "SqliteStore.h"
#include "cml/CmlMessage.h"
#include "cml/EventQueryMessages/GetObservancesByAddressRequest.h"

namespace {

using namespace zav::cml;

constexpr int64_t kEnd = 1765000000;  // the demo data's last instant, fixed for repeatable rows

std::string Request(uint32_t count) {
    auto request = std::make_unique<CGetObservancesByAddressRequest>(L"r-1");
    request->SetStartTime(L"2025-10-01T00:00:00Z");
    request->SetEndTime(L"2025-12-06T05:46:40Z");
    request->SetStartAddress(L"0.0.0.1");
    request->SetEndAddress(L"255.255.255.254");
    request->SetAddressType(L"ipv4");
    request->SetCount(count);
    CCmlMessage message(CAgentInfo(L"urn:bench", L"bench", L"127.0.0.1", L"", L"agent-1", L"", L""), L"m-1");
    message.AddRequest(std::move(request));
    std::ostringstream text;
    message.Serialize(text);
    return text.str();
}

// The answer's size in bytes; the body is counted as it arrives, never kept.
size_t Post(const std::string& url, uint32_t count) {
    httplib::Client client(url);
    client.set_read_timeout(300, 0);
    httplib::Request request;
    request.method = "POST";
    request.path = "/zav/event_query_services";
    request.set_header("Content-Type", "application/x-zav-cml-data; charset=UTF-8");
    request.body = Request(count);
    size_t bytes = 0;
    request.content_receiver = [&](const char*, size_t n, uint64_t, uint64_t) {
        bytes += n;
        return true;
    };
    httplib::Response response;
    httplib::Error error = httplib::Error::Success;
    return client.send(request, response, error) && response.status == 200 ? bytes : 0;
}

long PeakKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

}  // namespace

int main() {
    eqtest::CTempDir dir;
    const std::string db = dir.Path() + "/bench.db";
    const eqtest::Result made =
        eqtest::RunProcess({EQ_TEST_SERVER, "demo-db", db, "--end", std::to_string(kEnd)});
    if (made.exitCode != 0) {
        std::fprintf(stderr, "demo-db failed: %s\n", made.err.c_str());
        return 1;
    }
    {
        // 30,000 demo rows, shifted copies of them up to 120,000.
        eqsrv::CSqliteDb store(db, false);
        for (int shift = 1; shift <= 3; ++shift) {
            store.Exec(
                "INSERT INTO observances (time, source, target, sensor, type_id, name, count, "
                "severity) SELECT time - " +
                std::to_string(shift * 7) +
                ", source, target, sensor, type_id, name, count, severity FROM observances "
                "WHERE id <= 30000");
        }
    }
    std::printf("| page size | answer | server peak growth | growth / answer |\n");
    std::printf("|---:|---:|---:|---:|\n");
    for (uint32_t page : {100u, 1000u, 10000u, 100000u}) {
        eqtest::CServerProcess server({"--db", db});
        Post(server.Url(), 10);
        const long before = PeakKb(server.Pid());
        const size_t bytes = Post(server.Url(), page);
        const long after = PeakKb(server.Pid());
        if (bytes == 0 || before < 0 || after < 0) {
            std::fprintf(stderr, "page size %u: no answer\n", page);
            return 1;
        }
        const double growthMb = static_cast<double>(after - before) / 1024.0;
        std::printf("| %u | %.1f MB | %.1f MB | %.3f |\n", page, static_cast<double>(bytes) / 1e6,
                    growthMb, growthMb * 1024.0 * 1024.0 / static_cast<double>(bytes));
    }
    return 0;
}
