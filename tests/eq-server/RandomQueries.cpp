#include "RandomQueries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>

#include "EventStore.h"
#include "Processes.h"

namespace eqtest {

std::string Dotted(uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 255) + "." +
           std::to_string((a >> 8) & 255) + "." + std::to_string(a & 255);
}

std::vector<OracleRow> Jsonl(const std::string& text) {
    std::vector<OracleRow> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        OracleRow row;
        const nlohmann::json object = nlohmann::json::parse(line);
        for (auto it = object.begin(); it != object.end(); ++it) {
            row[it.key()] = it.value().get<std::string>();
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

RandomQuery MakeRandomQuery(std::mt19937& random, bool vulns, bool byGroup) {
    auto pick = [&](uint32_t bound) { return static_cast<uint32_t>(random() % bound); };
    RandomQuery r;
    OracleQuery& q = r.oracle;
    std::vector<std::string>& args = r.args;
    q.vulns = vulns;
    args = {vulns ? "vulns" : "observances", "--format", "jsonl"};
    if (byGroup) {
        q.group = std::to_string(1 + pick(6));  // group 6 does not exist
        args.insert(args.end(), {"--group", q.group});
    } else {
        const uint32_t base = (10u << 24) | ((1 + pick(2)) << 8);
        q.low = base + pick(256);
        q.high = pick(4) == 0 ? q.low : std::min(base + 255, q.low + pick(120));
        // Observances come from outside too: sometimes cover 192.0.2.0/24.
        if (!vulns && pick(4) == 0) {
            q.low = (192u << 24) | (2u << 8) | pick(128);
            q.high = q.low + pick(120);
        }
        args.insert(
            args.end(),
            {"--address", q.low == q.high ? Dotted(q.low) : Dotted(q.low) + "-" + Dotted(q.high)});
    }
    q.to = kEnd - pick(20) * 86400 - pick(86400);
    q.from = q.to - 3600 - pick(10 * 86400);
    args.insert(args.end(), {"--from", eqsrv::FormatTime(q.from), "--to", eqsrv::FormatTime(q.to)});
    const uint32_t counts[] = {0, 1, 7, 40};
    q.count = counts[pick(4)];
    if (q.count != 0) args.insert(args.end(), {"--count", std::to_string(q.count)});
    if (vulns && pick(3) == 0) {
        q.fixed = true;
        args.push_back("--fixed");
    }
    if (!vulns) {
        if (pick(3) != 0) {
            q.typesGiven = true;
            std::string list;
            for (int t = 1; t <= 9; ++t) {
                if (pick(3) != 0) continue;
                q.types.push_back(t);
                list += (list.empty() ? "" : ",") + std::to_string(t);
            }
            if (list.empty()) {
                q.types = {4};
                list = "4";
            }
            args.insert(args.end(), {"--types", list});
            q.exclude = pick(2) == 0;
            if (q.exclude) args.push_back("--exclude");
        }
        if (pick(2) == 0) {
            std::string analysis;
            q.source = pick(2) == 0;
            q.target = pick(2) == 0;
            q.sensor = pick(2) == 0;
            if (!q.source && !q.target && !q.sensor) q.sensor = true;
            for (auto [on, name] : {std::pair{q.source, "source"}, std::pair{q.target, "target"},
                                    std::pair{q.sensor, "sensor"}}) {
                if (on) analysis += (analysis.empty() ? "" : ",") + std::string(name);
            }
            args.insert(args.end(), {"--analysis", analysis});
        }
    }
    r.someFields = pick(4) == 0;
    return r;
}

std::vector<OracleRow> Expected(const std::string& db, RandomQuery& query) {
    std::vector<OracleRow> expected = OracleRows(db, query.oracle);
    // Now and then only some fields: the rows keep exactly those.
    if (query.someFields && !expected.empty()) {
        const std::string field = query.oracle.vulns ? "identifier" : "source-address";
        query.args.insert(query.args.end(), {"--fields", "name," + field});
        for (OracleRow& row : expected) {
            row = {{"result-id", row["result-id"]}, {"name", row["name"]}, {field, row[field]}};
        }
        query.someFields = false;
    }
    return expected;
}

void CompareRandomQueries(const std::string& db, const std::string& url, bool vulns, bool byGroup,
                          unsigned seed, int queries) {
    std::mt19937 random(seed);
    size_t nonEmpty = 0;
    for (int i = 0; i < queries; ++i) {
        RandomQuery query = MakeRandomQuery(random, vulns, byGroup);
        const std::vector<OracleRow> expected = Expected(db, query);
        std::vector<std::string> args = query.args;
        args.insert(args.begin(), EQ_TEST_QUERY);
        args.insert(args.end(), {"--server", url});
        const Result r = RunProcess(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::vector<OracleRow> rows = Jsonl(r.out);
        ASSERT_EQ(rows, expected) << "query " << i << ":" << [&] {
            std::string text;
            for (const auto& a : args) text += " " + a;
            return text;
        }();
        nonEmpty += rows.empty() ? 0 : 1;
    }
    // Random queries that all come back empty would compare nothing.
    EXPECT_GT(nonEmpty, static_cast<size_t>(queries / 3));
}

}  // namespace eqtest
