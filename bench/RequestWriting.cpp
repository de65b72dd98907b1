// Building a request and writing it, as a query does before it is posted: a compound message
// with the agent's source, one vulnerabilities-by-address request with a result filter of every
// field, written to a string.
//   bench_request_writing [benchmark flags]
//   bench_request_writing --once     one warm run inside zav_bench_measured (callgrind)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "cml/AgentInfo.h"
#include "cml/CmlMessage.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesByAddressRequest.h"
#include "event_query/EventQueryServices.h"

namespace {

using namespace zav::cml;

std::string BuildAndWrite() {
    const CAgentInfo source(L"urn:zav:eq-query", L"eq-query", L"", L"",
                            L"efead1f5-2b1c-4d3e-9f10-1234567890ab", L"operations-user",
                            L"a-password-of-some-length");
    CCmlMessage message(source, L"ea0d88b7-f1b6-10f1-0001-0740afac3347", nullptr, false, L"");
    auto request = std::make_unique<CGetVulnerabilitiesByAddressRequest>(
        L"ea0d88fe-f1b6-10f1-0001-0740afac3347");
    request->SetStartAddress(L"10.0.1.1");
    request->SetEndAddress(L"10.0.1.255");
    request->SetAddressType(L"ipv4");
    request->SetFixed(false);
    request->SetCount(1000);
    request->SetStartTime(L"2025-12-05T00:00:00.000000Z");
    request->SetEndTime(L"2025-12-06T00:00:00.000000Z");
    for (const wchar_t* field :
         {L"address", L"host-name", L"identifier", L"name", L"severity", L"port", L"protocol",
          L"first-seen", L"last-seen", L"fixed", L"fixed-time"}) {
        request->AddResultFilterItem(field);
    }
    message.AddRequest(std::move(request));
    std::ostringstream os;
    message.Serialize(os);
    return os.str();
}

void BM_BuildAndWriteRequest(benchmark::State& state) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = BuildAndWrite();
        bytes += text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_BuildAndWriteRequest)->Unit(benchmark::kMicrosecond);

}  // namespace

extern "C" __attribute__((noinline)) std::size_t zav_bench_measured() {
    return BuildAndWrite().size();
}

int main(int argc, char** argv) {
    CEventQueryServices::RegisterDocumentClasses();
    if (argc == 2 && std::strcmp(argv[1], "--once") == 0) {
        BuildAndWrite();  // warm: first-use set-up of locales and the class factory
        std::printf("bytes %zu\n", zav_bench_measured());
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--print") == 0) {
        std::fputs(BuildAndWrite().c_str(), stdout);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
