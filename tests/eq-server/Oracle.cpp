#include "Oracle.h"

#include "PgStore.h"
#include "SqliteStore.h"

namespace eqtest {

namespace {

std::string Dotted(const std::string& column) {
    return "CASE WHEN " + column + " IS NULL THEN '' ELSE (" + column + " >> 24) || '.' || ((" +
           column + " >> 16) & 255) || '.' || ((" + column + " >> 8) & 255) || '.' || (" + column +
           " & 255) END";
}

bool g_postgres = false;  // the dialect of the statement being written

std::string Iso(const std::string& column) {
    if (g_postgres) {
        return "COALESCE(to_char(to_timestamp(" + column +
               ") AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"'), '')";
    }
    return "COALESCE(strftime('%Y-%m-%dT%H:%M:%SZ', " + column + ", 'unixepoch'), '')";
}

// The rows of sql, each cut to its first width columns, read through the store's own connection
// classes (only the statements here are the oracle's own).
std::vector<std::vector<std::string>> Run(const std::string& db, const std::string& sql,
                                          size_t width) {
    std::vector<std::vector<std::string>> rows;
    if (g_postgres) {
        eqsrv::CPgConn conn(db);
        const eqsrv::PgResult result = conn.Run(sql, {});
        for (int r = 0; r < PQntuples(result.get()); ++r) {
            rows.emplace_back();
            for (size_t i = 0; i < width; ++i)
                rows.back().emplace_back(PQgetvalue(result.get(), r, static_cast<int>(i)));
        }
        return rows;
    }
    eqsrv::CSqliteDb sqlite(db, false);
    eqsrv::CStatement statement(sqlite.Handle(), sql);
    while (statement.Step()) {
        rows.emplace_back();
        for (size_t i = 0; i < width; ++i)
            rows.back().push_back(statement.Text(static_cast<int>(i)));
    }
    return rows;
}

std::string Members(const std::string& group) {
    return "(SELECT h2.address FROM hosts h2 JOIN memberships m ON m.host_id = h2.id "
           "WHERE m.group_id = '" +
           group + "')";
}

}  // namespace

std::vector<OracleRow> OracleRows(const std::string& db, const OracleQuery& q) {
    g_postgres = db.rfind("postgresql://", 0) == 0;
    std::string sql;
    std::vector<std::string> names;
    const std::string range =
        " BETWEEN " + std::to_string(q.low) + " AND " + std::to_string(q.high);
    if (q.vulns) {
        names = {"result-id", "address",  "host-name",  "identifier", "name",  "severity",
                 "port",      "protocol", "first-seen", "last-seen",  "fixed", "fixed-time"};
        sql = "SELECT v.id, " + Dotted("h.address") +
              ", h.name, v.identifier, v.name, v.severity, COALESCE(CAST(v.port AS TEXT), ''), "
              "v.protocol, " +
              Iso("v.first_seen") + ", " + Iso("v.last_seen") +
              ", CASE v.fixed WHEN 1 THEN 'true' ELSE 'false' END, " + Iso("v.fixed_time") +
              " FROM vulnerabilities v JOIN hosts h ON h.id = v.host_id WHERE " +
              (q.group.empty() ? "h.address" + range : "h.address IN " + Members(q.group)) +
              " AND v.fixed = " + (q.fixed ? "1" : "0") + " AND v.last_seen BETWEEN " +
              std::to_string(q.from) + " AND " + std::to_string(q.to) +
              " ORDER BY v.last_seen, v.id";
    } else {
        names = {"result-id", "time", "source-address", "target-address", "sensor-address",
                 "type-id",   "name", "count",          "severity"};
        const bool none = !q.source && !q.target && !q.sensor;  // the library asks for both then
        auto match = [&](const std::string& column, bool on) {
            if (!on) return std::string("FALSE");
            return column + (q.group.empty() ? range : " IN " + Members(q.group));
        };
        std::string types = "TRUE";
        std::vector<int> list = q.types;
        bool exclude = q.exclude;
        if (!q.typesGiven) {
            list = {2, 8};
            exclude = true;
        }
        if (!list.empty() || !exclude) {
            types = std::string("o.type_id ") + (exclude ? "NOT IN (" : "IN (");
            for (size_t i = 0; i < list.size(); ++i) {
                types += (i > 0 ? "," : "") + std::to_string(list[i]);
            }
            types += ")";
        }
        sql = "SELECT o.id, " + Iso("o.time") + ", " + Dotted("o.source") + ", " +
              Dotted("o.target") + ", " + Dotted("o.sensor") +
              ", o.type_id, o.name, o.count, o.severity FROM observances o WHERE (" +
              match("o.source", q.source || none) + " OR " + match("o.target", q.target || none) +
              " OR " + match("o.sensor", q.sensor) + ") AND " + types + " AND o.time BETWEEN " +
              std::to_string(q.from) + " AND " + std::to_string(q.to) + " ORDER BY o.time, o.id";
    }
    if (q.count > 0) sql += " LIMIT " + std::to_string(q.count);

    std::vector<OracleRow> rows;
    for (auto& values : Run(db, sql, names.size())) {
        OracleRow row;
        for (size_t i = 0; i < names.size(); ++i) row[names[i]] = std::move(values[i]);
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace eqtest
