// Every shape of store query the protocol can ask for, for the query-plan checks of both
// engines: each kind by range and by group, a first and a later page, and for observances every
// combination of address columns with a type list.
#pragma once

#include <vector>

#include "EventStore.h"

namespace eqtest {

// base gives the range, group, time window and limit; later the cursors of the later page.
inline std::vector<eqsrv::StoreQuery> EveryQueryShape(const eqsrv::StoreQuery& base,
                                                      eqsrv::Position after,
                                                      eqsrv::Position until) {
    using eqsrv::QueryKind;
    std::vector<eqsrv::StoreQuery> queries;
    for (QueryKind kind : {QueryKind::Vulnerabilities, QueryKind::Observances}) {
        for (bool byGroup : {false, true}) {
            eqsrv::StoreQuery q = base;
            q.kind = kind;
            q.byGroup = byGroup;
            queries.push_back(q);
            q.after = after;  // a later page
            q.until = until;
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
    return queries;
}

}  // namespace eqtest
