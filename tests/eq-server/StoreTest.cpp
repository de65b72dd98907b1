// The store's statements on the demo data: every query kind reads through an index range.
#include <gtest/gtest.h>

#include "Processes.h"
#include "QueryShapes.h"
#include "SqliteStore.h"

namespace eqtest {
namespace {

using namespace eqsrv;

TEST(Store, EveryQueryKindIsAnIndexRangeScan) {
    CTempDir dir;
    CSqliteDb db(DemoDb(dir.Path() + "/plan.db"), false);

    StoreQuery base;
    std::tie(base.groupId, base.low, base.high, base.from, base.to, base.limit) =
        std::make_tuple("3", 0x0A000101, 0x0A0001FF, 1764000000, 1765000000, 100);
    for (const StoreQuery& q :
         EveryQueryShape(base, Position{1764500000, 17}, Position{1764900000, 99})) {
        const SqlQuery sql = BuildSql(q);
        CStatement explain(db.Handle(), "EXPLAIN QUERY PLAN " + sql.sql);
        for (size_t i = 0; i < sql.params.size(); ++i)
            explain.Bind(static_cast<int>(i + 1), sql.params[i]);
        std::string plan;
        while (explain.Step()) plan += explain.Text(3) + "\n";
        SCOPED_TRACE(sql.sql + "\n" + plan);
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
