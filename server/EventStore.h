// The store behind eq-server: the protocol code asks it for rows through this interface only, so
// another engine can be added without touching request handling.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace eqsrv {

enum class QueryKind { Vulnerabilities, Observances };

// A position in the answer order (event time, then row id).
struct Position {
    int64_t time = 0;
    int64_t id = 0;
};

struct StoreQuery {
    QueryKind kind = QueryKind::Vulnerabilities;
    // Either an IPv4 range (inclusive, host order) or a group id.
    bool byGroup = false;
    uint32_t low = 0;
    uint32_t high = 0;
    std::string groupId;
    int64_t from = 0;  // seconds since the epoch, both ends inclusive
    int64_t to = 0;
    bool fixed = false;  // vulnerabilities: fixed ones, else open ones
    // Observances: the address columns the range or group is matched against.
    bool source = true;
    bool target = true;
    bool sensor = false;
    std::vector<int64_t> types;
    bool exclude = true;            // types lists the ids left out, else the only ids returned
    std::optional<Position> after;  // rows strictly after this position
    std::optional<Position> until;  // rows up to and including this position
    uint32_t limit = 0;
};

struct Row {
    Position position;
    std::vector<std::pair<std::string, std::string>> data;
};

// What an answer holds, known before its first row is written (the response's attributes come
// first on the wire).
struct PageSummary {
    uint32_t count = 0;
    std::optional<Position> first;
    std::optional<Position> last;
};

// The rows of one query, read from one consistent snapshot of the store.
class CRowReader {
public:
    virtual ~CRowReader() = default;
    virtual const PageSummary& Summary() const = 0;
    // The next row in answer order; false after the last one.
    virtual bool Next(Row& row) = 0;
};

class CEventStore {
public:
    virtual ~CEventStore() = default;
    // Throws std::runtime_error on a store failure (also from the reader's Next).
    virtual std::unique_ptr<CRowReader> Open(const StoreQuery& query) = 0;
};

// The names of the pairs of each row, in the order they are returned.
const std::vector<std::string>& VulnerabilityFields();
const std::vector<std::string>& ObservanceFields();

// "10.0.0.1" -> host-order value; false when the text is not a dotted IPv4 address.
bool ParseIpv4(const std::string& text, uint32_t& value);
std::string FormatIpv4(uint32_t value);
// ISO 8601 UTC with seconds, e.g. 2026-12-06T20:00:00Z.
std::string FormatTime(int64_t seconds);

}  // namespace eqsrv
