// The store's statements on the demo data: every query kind reads through an index range.
#include <gtest/gtest.h>

#include "Processes.h"
#include "QueryShapes.h"
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

    StoreQuery base;
    base.groupId = "3";
    base.low = 0x0A000101;
    base.high = 0x0A0001FF;
    base.from = 1764000000;
    base.to = 1765000000;
    base.limit = 100;
    const std::vector<StoreQuery> queries =
        EveryQueryShape(base, Position{1764500000, 17}, Position{1764900000, 99});
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
