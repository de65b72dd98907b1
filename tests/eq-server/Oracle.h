// What a query should return, computed with plain SQL straight on the database, written
// independently of the server's own statements (no index concerns, formatting done by the
// database engine itself). The same SQL on an SQLite file and on a PostgreSQL URL.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace eqtest {

struct OracleQuery {
    bool vulns = true;
    std::string group;  // empty: the address range
    uint32_t low = 0, high = 0;
    int64_t from = 0, to = 0;
    bool fixed = false;
    uint32_t count = 0;  // 0: no limit within the server's maximum
    bool source = true, target = true, sensor = false;
    bool typesGiven = false;
    std::vector<int> types;
    bool exclude = true;
};

using OracleRow = std::map<std::string, std::string>;  // "result-id" and every field

// db: an SQLite file or a postgresql:// URL.
std::vector<OracleRow> OracleRows(const std::string& db, const OracleQuery& q);

}  // namespace eqtest
