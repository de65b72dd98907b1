// Random eq-query command lines over the demo data, each with the oracle's query for the same
// question; shared by the tests on both engines and the fail-over tests.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "Oracle.h"

namespace eqtest {

// The demo data's last instant: fixed, so that every run sees the same rows.
constexpr int64_t kEnd = 1765000000;  // 2025-12-06T05:46:40Z

std::string Dotted(uint32_t a);
// eq-query's --format jsonl output, one row per line.
std::vector<OracleRow> Jsonl(const std::string& text);

struct RandomQuery {
    std::vector<std::string> args;  // eq-query's, without --server
    OracleQuery oracle;
    bool someFields = false;  // ask for two fields only (when there are rows)
};
RandomQuery MakeRandomQuery(std::mt19937& random, bool vulns, bool byGroup);
// The rows the answer must hold; adds --fields to the query when it asks for some only.
std::vector<OracleRow> Expected(const std::string& db, RandomQuery& query);

// Random queries of one kind through eq-query at url: each answer must equal the oracle's rows
// on db, in order.
void CompareRandomQueries(const std::string& db, const std::string& url, bool vulns, bool byGroup,
                          unsigned seed, int queries);

}  // namespace eqtest
