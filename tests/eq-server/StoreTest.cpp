// The store's statements on the demo data: every query kind reads through an index range.
#include <gtest/gtest.h>

#include "Processes.h"
#include "SqliteStore.h"
#include "StoreAdmin.h"

namespace eqtest {
namespace {

using namespace eqsrv;

std::vector<std::string> Plan(CSqliteDb& db, const StoreQuery& q) {
    const SqlQuery sql = BuildSql(q);
    CStatement explain(db.Handle(), "EXPLAIN QUERY PLAN " + sql.sql);
    for (size_t i = 0; i < sql.params.size(); ++i) {
        explain.Bind(static_cast<int>(i + 1), sql.params[i]);
    }
    std::vector<std::string> details;
    while (explain.Step()) details.push_back(explain.Text(3));
    return details;
}

TEST(Store, EveryQueryKindIsAnIndexRangeScan) {
    CTempDir dir;
    const std::string path = dir.Path() + "/plan.db";
    WriteDemoData(path, 1765000000);
    CSqliteDb db(path, false);

    std::vector<StoreQuery> queries;
    for (QueryKind kind : {QueryKind::Vulnerabilities, QueryKind::Observances}) {
        for (bool byGroup : {false, true}) {
            StoreQuery q;
            q.kind = kind;
            q.byGroup = byGroup;
            q.groupId = "3";
            q.low = 0x0A000101;
            q.high = 0x0A0001FF;
            q.from = 1764000000;
            q.to = 1765000000;
            q.limit = 100;
            queries.push_back(q);
            q.after = Position{1764500000, 17};  // a later page
            q.until = Position{1764900000, 99};
            queries.push_back(q);
            if (kind == QueryKind::Observances) {
                for (int mask = 1; mask < 8; ++mask) {
                    q.source = mask & 1;
                    q.target = mask & 2;
                    q.sensor = mask & 4;
                    q.types = {2, 8};
                    q.exclude = mask % 2 == 0;
                    queries.push_back(q);
                }
            }
        }
    }
    for (const StoreQuery& q : queries) {
        std::string plan;
        for (const std::string& step : Plan(db, q)) plan += step + "\n";
        SCOPED_TRACE(BuildSql(q).sql + "\n" + plan);
        // A full SCAN of a table grows with the whole table instead of with the answer.
        for (const char* table : {"SCAN v", "SCAN o", "SCAN h", "SCAN m", "SCAN vulnerabilities",
                                  "SCAN observances", "SCAN hosts", "SCAN memberships"}) {
            EXPECT_EQ(plan.find(table), std::string::npos) << table;
        }
        EXPECT_NE(plan.find("USING"), std::string::npos);
    }
}

}  // namespace
}  // namespace eqtest
