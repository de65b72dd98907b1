#include "StoreSql.h"

#include <stdexcept>

namespace eqsrv {

namespace {

// Keyset conditions on the answer order (time column, id column).
void AddCursor(const StoreQuery& q, const std::string& time, const std::string& id, SqlQuery& out) {
    if (q.after) {
        out.sql += " AND " + time + " >= ? AND (" + time + " > ? OR " + id + " > ?)";
        out.params.push_back({false, q.after->time, {}});
        out.params.push_back({false, q.after->time, {}});
        out.params.push_back({false, q.after->id, {}});
    }
    if (q.until) {
        out.sql += " AND " + time + " <= ? AND (" + time + " < ? OR " + id + " <= ?)";
        out.params.push_back({false, q.until->time, {}});
        out.params.push_back({false, q.until->time, {}});
        out.params.push_back({false, q.until->id, {}});
    }
}

void AddLimit(const StoreQuery& q, const std::string& order, SqlQuery& out) {
    out.sql += " ORDER BY " + order + " LIMIT ?";
    out.params.push_back({false, static_cast<int64_t>(q.limit), {}});
}

SqlQuery VulnerabilitySql(const StoreQuery& q) {
    SqlQuery out;
    out.sql =
        "SELECT v.id AS row_id, v.last_seen AS row_time, h.address, h.name, v.identifier, v.name, "
        "v.severity, v.port, "
        "v.protocol, v.first_seen, v.fixed, v.fixed_time FROM ";
    if (q.byGroup) {
        out.sql +=
            "memberships m JOIN hosts h ON h.id = m.host_id "
            "JOIN vulnerabilities v ON v.host_id = h.id WHERE m.group_id = ?";
        out.params.push_back({true, 0, q.groupId});
    } else {
        out.sql +=
            "hosts h JOIN vulnerabilities v ON v.host_id = h.id "
            "WHERE h.address BETWEEN ? AND ?";
        out.params.push_back({false, q.low, {}});
        out.params.push_back({false, q.high, {}});
    }
    out.sql += " AND v.fixed = ? AND v.last_seen BETWEEN ? AND ?";
    out.params.push_back({false, q.fixed ? 1 : 0, {}});
    out.params.push_back({false, q.from, {}});
    out.params.push_back({false, q.to, {}});
    AddCursor(q, "v.last_seen", "v.id", out);
    AddLimit(q, "v.last_seen, v.id", out);
    return out;
}

SqlQuery ObservanceSql(const StoreQuery& q, Dialect dialect) {
    SqlQuery out;
    out.sql =
        "SELECT o.id AS row_id, o.time AS row_time, o.source, o.target, o.sensor, o.type_id, "
        "o.name, o.count, "
        "o.severity FROM observances o WHERE o.time BETWEEN ? AND ?";
    out.params.push_back({false, q.from, {}});
    out.params.push_back({false, q.to, {}});
    // One index per matched column; both engines join them as a multi-index OR.
    std::vector<std::string> columns;
    if (q.source) columns.push_back("o.source");
    if (q.target) columns.push_back("o.target");
    if (q.sensor) columns.push_back("o.sensor");
    const std::string members =
        "SELECT h.address FROM memberships m JOIN hosts h ON h.id = m.host_id "
        "WHERE m.group_id = ?";
    out.sql += " AND (";
    if (columns.empty()) out.sql += "FALSE";
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) out.sql += " OR ";
        if (q.byGroup) {
            // PostgreSQL plans an IN subquery as a join, which may scan the whole table; an
            // array computed once keeps it an index condition.
            out.sql += dialect == Dialect::Postgres ? columns[i] + " = ANY(ARRAY(" + members + "))"
                                                    : columns[i] + " IN (" + members + ")";
            out.params.push_back({true, 0, q.groupId});
        } else {
            out.sql += columns[i] + " BETWEEN ? AND ?";
            out.params.push_back({false, q.low, {}});
            out.params.push_back({false, q.high, {}});
        }
    }
    out.sql += ")";
    if (!q.types.empty() || !q.exclude) {
        out.sql += q.exclude ? " AND o.type_id NOT IN (" : " AND o.type_id IN (";
        for (size_t i = 0; i < q.types.size(); ++i) {
            out.sql += i > 0 ? ", ?" : "?";
            out.params.push_back({false, q.types[i], {}});
        }
        out.sql += ")";
    }
    AddCursor(q, "o.time", "o.id", out);
    AddLimit(q, "o.time, o.id", out);
    return out;
}

// ? -> $1, $2, ... (no statement here has a ? inside a literal).
std::string Numbered(const std::string& sql) {
    std::string out;
    int n = 0;
    for (char c : sql) {
        if (c == '?') {
            out += "$" + std::to_string(++n);
        } else {
            out += c;
        }
    }
    return out;
}

std::string OptionalAddress(const ColumnReader& c, int column) {
    return c.isNull(column) ? std::string() : FormatIpv4(static_cast<uint32_t>(c.number(column)));
}

}  // namespace

void CheckSchemaVersion(int found, const std::string& what) {
    if (found > kSchemaVersion) {
        throw std::runtime_error(what + " has schema version " + std::to_string(found) +
                                 ", newer than this eq-server's " + std::to_string(kSchemaVersion) +
                                 ": use a newer eq-server");
    }
}

bool IsPostgresUrl(const std::string& db) {
    return db.rfind("postgresql://", 0) == 0 || db.rfind("postgres://", 0) == 0;
}

SqlQuery BuildSql(const StoreQuery& query, Dialect dialect) {
    SqlQuery out = query.kind == QueryKind::Vulnerabilities ? VulnerabilitySql(query)
                                                            : ObservanceSql(query, dialect);
    if (dialect == Dialect::Postgres) out.sql = Numbered(out.sql);
    return out;
}

std::string SummarySql(const std::string& pageSql) {
    // The page once into a temporary table, then its size and both ends.
    return "WITH page AS MATERIALIZED (" + pageSql +
           ") SELECT (SELECT count(*) FROM page), "
           "(SELECT row_time FROM page ORDER BY row_time, row_id LIMIT 1), "
           "(SELECT row_id FROM page ORDER BY row_time, row_id LIMIT 1), "
           "(SELECT row_time FROM page ORDER BY row_time DESC, row_id DESC LIMIT 1), "
           "(SELECT row_id FROM page ORDER BY row_time DESC, row_id DESC LIMIT 1)";
}

Row ReadRow(const ColumnReader& c, QueryKind kind) {
    Row row;
    row.position = {c.number(1), c.number(0)};
    if (kind == QueryKind::Vulnerabilities) {
        const bool fixed = c.number(10) != 0;
        row.data = {{"address", FormatIpv4(static_cast<uint32_t>(c.number(2)))},
                    {"host-name", c.text(3)},
                    {"identifier", c.text(4)},
                    {"name", c.text(5)},
                    {"severity", std::to_string(c.number(6))},
                    {"port", c.isNull(7) ? "" : std::to_string(c.number(7))},
                    {"protocol", c.text(8)},
                    {"first-seen", FormatTime(c.number(9))},
                    {"last-seen", FormatTime(c.number(1))},
                    {"fixed", fixed ? "true" : "false"},
                    {"fixed-time", c.isNull(11) ? "" : FormatTime(c.number(11))}};
    } else {
        row.data = {
            {"time", FormatTime(c.number(1))},         {"source-address", OptionalAddress(c, 2)},
            {"target-address", OptionalAddress(c, 3)}, {"sensor-address", OptionalAddress(c, 4)},
            {"type-id", std::to_string(c.number(5))},  {"name", c.text(6)},
            {"count", std::to_string(c.number(7))},    {"severity", std::to_string(c.number(8))}};
    }
    return row;
}

}  // namespace eqsrv
