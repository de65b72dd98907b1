#include "Metrics.h"

#include <sstream>

#include "StoreSql.h"

namespace eqsrv {

void CMetrics::Record(const RequestRecord& record) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_requests[{record.kind, record.status}];
    for (size_t i = 0; i < kBuckets.size(); ++i) {
        if (record.seconds <= kBuckets[i]) {
            ++m_buckets[i];
            break;
        }
    }
    ++m_answers;
    m_seconds += record.seconds;
    m_items += record.items;
    m_bytes += record.bytes;
    if (record.status == 401) ++m_authRefused;
    if (record.status == 429) ++m_rateLimited;
}

std::string CMetrics::Render(const MetricGauges& gauges) const {
    std::ostringstream out;
    const auto header = [&out](const char* name, const char* type, const char* help) {
        out << "# HELP " << name << " " << help << "\n# TYPE " << name << " " << type << "\n";
    };
    std::lock_guard<std::mutex> lock(m_mutex);
    header("eq_server_requests_total", "counter", "Requests answered, by query kind and status.");
    for (const auto& [key, count] : m_requests) {
        out << "eq_server_requests_total{kind=\"" << key.first << "\",status=\"" << key.second
            << "\"} " << count << "\n";
    }
    header("eq_server_request_duration_seconds", "histogram",
           "Time from a request's first byte to the end of its answer.");
    uint64_t cumulative = 0;
    for (size_t i = 0; i < kBuckets.size(); ++i) {
        cumulative += m_buckets[i];
        out << "eq_server_request_duration_seconds_bucket{le=\"" << kBuckets[i] << "\"} "
            << cumulative << "\n";
    }
    out << "eq_server_request_duration_seconds_bucket{le=\"+Inf\"} " << m_answers << "\n"
        << "eq_server_request_duration_seconds_sum " << m_seconds << "\n"
        << "eq_server_request_duration_seconds_count " << m_answers << "\n";
    header("eq_server_items_total", "counter", "Items written in answers.");
    out << "eq_server_items_total " << m_items << "\n";
    header("eq_server_bytes_total", "counter", "Bytes of answer documents written.");
    out << "eq_server_bytes_total " << m_bytes << "\n";
    header("eq_server_auth_refused_total", "counter",
           "Requests refused for bad credentials (401).");
    out << "eq_server_auth_refused_total " << m_authRefused << "\n";
    header("eq_server_rate_limited_total", "counter",
           "Requests refused for too many refused logins (429).");
    out << "eq_server_rate_limited_total " << m_rateLimited << "\n";
    header("eq_server_connections_open", "gauge", "Client connections open.");
    out << "eq_server_connections_open " << gauges.connections << "\n";
    header("eq_server_store_workers_busy", "gauge", "Requests holding a worker and the store.");
    out << "eq_server_store_workers_busy " << gauges.workersBusy << "\n";
    header("eq_server_store_workers_waiting", "gauge", "Admitted requests waiting for a worker.");
    out << "eq_server_store_workers_waiting " << gauges.workersWaiting << "\n";
    header("eq_server_build_info", "gauge", "eq-server's version and store schema version.");
    out << "eq_server_build_info{version=\"" << EQ_SERVER_VERSION << "\",schema=\""
        << kSchemaVersion << "\"} 1\n";
    return out.str();
}

}  // namespace eqsrv
