#include "Oracle.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <stdexcept>

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

std::vector<std::vector<std::string>> RunSqlite(const std::string& path, const std::string& sql,
                                                size_t width) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + path);
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        const std::string error = sqlite3_errmsg(db);
        sqlite3_close(db);
        throw std::runtime_error(error + " in " + sql);
    }
    std::vector<std::vector<std::string>> rows;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        std::vector<std::string> row;
        for (size_t i = 0; i < width; ++i) {
            const auto* text = sqlite3_column_text(stmt, static_cast<int>(i));
            row.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
        }
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

std::vector<std::vector<std::string>> RunPostgres(const std::string& url, const std::string& sql,
                                                  size_t width) {
    PGconn* conn = PQconnectdb(url.c_str());
    PGresult* result = PQstatus(conn) == CONNECTION_OK ? PQexec(conn, sql.c_str()) : nullptr;
    if (PQresultStatus(result) != PGRES_TUPLES_OK) {
        const std::string error = PQerrorMessage(conn);
        PQclear(result);
        PQfinish(conn);
        throw std::runtime_error(error + " in " + sql);
    }
    std::vector<std::vector<std::string>> rows;
    for (int r = 0; r < PQntuples(result); ++r) {
        std::vector<std::string> row;
        for (size_t i = 0; i < width; ++i)
            row.emplace_back(PQgetvalue(result, r, static_cast<int>(i)));
        rows.push_back(std::move(row));
    }
    PQclear(result);
    PQfinish(conn);
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
    for (auto& values :
         g_postgres ? RunPostgres(db, sql, names.size()) : RunSqlite(db, sql, names.size())) {
        OracleRow row;
        for (size_t i = 0; i < names.size(); ++i) row[names[i]] = std::move(values[i]);
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace eqtest
