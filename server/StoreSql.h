// The statements of the query kinds, written once for both engines, and the mapping of a
// result row to the answer's fields. The engines differ only in placeholders and in how a
// group's addresses are matched (see BuildSql).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "EventStore.h"

namespace eqsrv {

enum class Dialect { Sqlite, Postgres };

// The schema this eq-server writes and reads, the same on both engines. A store with a newer
// one was written by a newer eq-server: this one refuses it rather than misread it.
inline constexpr int kSchemaVersion = 1;
// Throws when found is newer than kSchemaVersion; what names the store in the message.
void CheckSchemaVersion(int found, const std::string& what);

// postgresql:// or postgres:// URLs name a PostgreSQL database, anything else an SQLite file.
bool IsPostgresUrl(const std::string& db);

struct SqlParam {
    bool isText = false;
    int64_t number = 0;
    std::string text;
};

// The SQL of a query and its parameters, in placeholder order (? on SQLite, $n on
// PostgreSQL). Shared with the tests that check the plan of every query kind.
struct SqlQuery {
    std::string sql;
    std::vector<SqlParam> params;
};
SqlQuery BuildSql(const StoreQuery& query, Dialect dialect = Dialect::Sqlite);

// The page's size and both ends in one statement over the page's SQL (same parameters).
std::string SummarySql(const std::string& pageSql);

// One result row of BuildSql's statement, read through the engine's column accessors.
struct ColumnReader {
    std::function<int64_t(int)> number;
    std::function<std::string(int)> text;
    std::function<bool(int)> isNull;
};
Row ReadRow(const ColumnReader& columns, QueryKind kind);

}  // namespace eqsrv
