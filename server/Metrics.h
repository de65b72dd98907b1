// eq-server's counters for GET /metrics on the admin listener, in the Prometheus text format.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "AccessLog.h"

namespace eqsrv {

// What is read at the moment of the scrape rather than counted.
struct MetricGauges {
    size_t connections = 0;
    size_t workersBusy = 0;     // requests holding a worker, and so the store
    size_t workersWaiting = 0;  // admitted requests waiting for one
};

class CMetrics {
public:
    void Record(const RequestRecord& record);
    std::string Render(const MetricGauges& gauges) const;

    // Upper bounds of the latency histogram, in seconds.
    static constexpr std::array<double, 11> kBuckets = {0.005, 0.01, 0.025, 0.05, 0.1, 0.25,
                                                        0.5,   1,    2.5,   5,    10};

private:
    mutable std::mutex m_mutex;
    std::map<std::pair<std::string, int>, uint64_t> m_requests;  // (kind, status)
    std::array<uint64_t, kBuckets.size()> m_buckets{};           // not cumulative here
    uint64_t m_answers = 0;
    double m_seconds = 0;
    uint64_t m_items = 0, m_bytes = 0, m_authRefused = 0, m_rateLimited = 0;
};

}  // namespace eqsrv
