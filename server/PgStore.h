// The store on a PostgreSQL database shared by any number of eq-server processes. Each process
// keeps a bounded pool of connections; statements are prepared once per connection. Answers are
// read inside one REPEATABLE READ transaction, so that count, cursors and rows agree.
#pragma once

#include <libpq-fe.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "EventStore.h"
#include "StoreSql.h"

namespace eqsrv {

struct PgResultFree {
    void operator()(PGresult* result) const { PQclear(result); }
};
using PgResult = std::unique_ptr<PGresult, PgResultFree>;

// A statement parameter; Bytes are sent in binary (bytea).
struct PgParam {
    enum Kind { Null, Number, Text, Bytes } kind = Null;
    int64_t number = 0;
    std::string text;
};

// One connection; closed with the object.
class CPgConn {
public:
    explicit CPgConn(const std::string& url);
    ~CPgConn();
    CPgConn(const CPgConn&) = delete;
    CPgConn& operator=(const CPgConn&) = delete;
    PGconn* Handle() const { return m_conn; }
    bool Broken() const { return PQstatus(m_conn) != CONNECTION_OK; }
    // Simple statements (several allowed); throws on failure.
    void Exec(const std::string& sql);
    // A statement with $n parameters, prepared on first use on this connection; results in text.
    PgResult Run(const std::string& sql, const std::vector<PgParam>& params);
    // Sends a prepared statement whose rows are then taken one by one with PQgetResult.
    void SendSingleRows(const std::string& sql, const std::vector<PgParam>& params);
    [[noreturn]] void Fail(const std::string& what) const;

private:
    const std::string& Prepare(const std::string& sql);

    PGconn* m_conn = nullptr;
    std::map<std::string, std::string> m_prepared;  // SQL -> statement name
};

std::vector<PgParam> PgParams(const std::vector<SqlParam>& params);

// The schema version of the database (0: none yet).
int PgSchemaVersion(CPgConn& conn);
// Creates or upgrades the schema, one migrating process at a time; refuses a newer one.
// Returns the version found.
int PgMigrate(CPgConn& conn);

class CPgStore : public CEventStore {
public:
    // Refuses a database whose schema is missing, older (run migrate) or newer.
    CPgStore(std::string url, size_t poolSize);
    std::unique_ptr<CRowReader> Open(const StoreQuery& query) override;

    // Waits while poolSize connections are out.
    std::unique_ptr<CPgConn> Acquire();
    // A connection in an unknown state is given back as nullptr, freeing its place.
    void Release(std::unique_ptr<CPgConn> conn);
    // After the database went away, every idle connection is as broken as the one that failed.
    void DropIdle();

private:
    std::string m_url;
    size_t m_poolSize;
    std::mutex m_mutex;
    std::condition_variable m_freed;
    size_t m_out = 0;
    std::vector<std::unique_ptr<CPgConn>> m_idle;
};

}  // namespace eqsrv
