// Seconds per MB of reading an answer, for a valid answer and for every attack class side by
// side, with the limits the client uses by default. An attack class must never cost much more
// per byte than a valid answer: the reader refuses it early or reads it in linear time.
//   bench_reading_rates [size in MB, default 4] [repetitions, default 3]
//   bench_reading_rates --memory CLASS SIZE_MB   peak memory of reading one answer
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "HostileAnswers.h"
#include "cml/CmlClassFactory.h"
#include "cml/CmlException.h"
#include "cml/CmlMessage.h"
#include "cml/CmlParser.h"
#include "cml/EventQueryMessages/EventQueryMessages.h"
#include "cml/EventQueryMessages/EventQueryResponse.h"
#include "zavToolsLib/ConvertUTF.h"

namespace {

using namespace zav::cml;

// Reads as the dispatch thread does, delivery to UTF-8 included; returns the outcome.
std::string Read(const std::string& body, std::size_t& delivered) {
    try {
        const CCmlReadLimits limits;
        std::unique_ptr<CCmlDocumentBase> document = DeserializeBuffer(
            reinterpret_cast<const unsigned char*>(body.data()), body.size(), limits);
        const auto* message = dynamic_cast<const CCmlMessage*>(document.get());
        if (message == nullptr) return "not a message";
        for (const auto& entry : message->GetResponses()) {
            const auto* response = dynamic_cast<const CEventQueryResponse*>(entry.get());
            if (response == nullptr) continue;
            for (uint32_t i = 0; i < response->GetResultItemCount(); ++i) {
                const CEventQueryResultItem& item = response->GetResultItem(i);
                delivered += zavToolsLib::ToUtf8(item.GetResultId()).size();
                for (auto pair = item.DataBegin(); pair != item.DataEnd(); ++pair) {
                    delivered += zavToolsLib::ToUtf8(pair->first).size() +
                                 zavToolsLib::ToUtf8(pair->second).size();
                }
            }
        }
        return "read";
    } catch (const CCmlException& e) {
        return "refused: " + zavToolsLib::ToUtf8(e.GetMessage()).substr(0, 70);
    }
}

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Peak memory of one read, beyond what the process held with the answer in memory.
int MeasureMemory(const char* name, double megabytes) {
    const zavHostile::CAnswerClass* entry = zavHostile::FindAnswerClass(name);
    if (entry == nullptr) return 2;
    const std::string body = entry->make(static_cast<std::size_t>(megabytes * 1e6));
    const long before = PeakKilobytes();
    std::size_t delivered = 0;
    const std::string outcome = Read(body, delivered);
    const double grown = static_cast<double>(PeakKilobytes() - before) * 1024;
    std::printf("%-20s %10zu bytes  peak +%.1f MB = %.2f x size  %s\n", name, body.size(),
                grown / 1e6, grown / static_cast<double>(body.size()), outcome.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--memory") {
        RegisterCmlMessage(GetGlobalClassFactory());
        RegisterEventQueryMessages(GetGlobalClassFactory());
        return MeasureMemory(argv[2], std::atof(argv[3]));
    }
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 4.0;
    const int repetitions = argc > 2 ? std::atoi(argv[2]) : 3;
    RegisterCmlMessage(GetGlobalClassFactory());
    RegisterEventQueryMessages(GetGlobalClassFactory());

    double validRate = 0;
    std::printf("%-20s %10s %10s %8s  %s\n", "class", "bytes", "s/MB", "x valid", "outcome");
    for (const zavHostile::CAnswerClass& entry : zavHostile::AnswerClasses()) {
        const std::string body = entry.make(static_cast<std::size_t>(megabytes * 1e6));
        double best = 1e30;
        std::string outcome;
        for (int r = 0; r < repetitions; ++r) {
            std::size_t delivered = 0;
            const auto start = std::chrono::steady_clock::now();
            outcome = Read(body, delivered);
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            best = std::min(best, took.count());
        }
        const double rate = best / (static_cast<double>(body.size()) / 1e6);
        if (validRate == 0) validRate = rate;
        std::printf("%-20s %10zu %10.4f %8.2f  %s\n", entry.name, body.size(), rate,
                    rate / validRate, outcome.c_str());
    }
    return 0;
}
