// The embedded default store: one SQLite file. Every query kind is answered from an index range
// (hosts by address, memberships by group, events by host or address and time).
#pragma once

#include <sqlite3.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "EventStore.h"
#include "StoreSql.h"

namespace eqsrv {

// One connection; closed with the object.
class CSqliteDb {
public:
    CSqliteDb(const std::string& path, bool create);
    ~CSqliteDb();
    CSqliteDb(const CSqliteDb&) = delete;
    CSqliteDb& operator=(const CSqliteDb&) = delete;
    sqlite3* Handle() const { return m_db; }
    void Exec(const std::string& sql);

private:
    sqlite3* m_db = nullptr;
};

// A prepared statement; finalized with the object.
class CStatement {
public:
    CStatement(sqlite3* db, const std::string& sql);
    ~CStatement() { sqlite3_finalize(m_stmt); }
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;
    void Bind(int index, int64_t value);
    void Bind(int index, const std::string& value);
    void Bind(int index, const SqlParam& param);
    void BindBlob(int index, const std::string& bytes);
    void BindNull(int index) { sqlite3_bind_null(m_stmt, index); }
    bool Step();  // true while a row is ready
    void Reset();
    int64_t Int(int column) const { return sqlite3_column_int64(m_stmt, column); }
    std::string Text(int column) const;
    std::string Blob(int column) const;
    bool IsNull(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

// Creates the tables and indexes, or brings an older file up to the current schema; refuses a
// newer one. Returns the version found (0: none).
int CreateSchema(CSqliteDb& db);
int SchemaVersion(CSqliteDb& db);

class CSqliteStore : public CEventStore {
public:
    explicit CSqliteStore(std::string path);
    std::unique_ptr<CRowReader> Open(const StoreQuery& query) override;

    std::unique_ptr<CSqliteDb> Acquire();
    void Release(std::unique_ptr<CSqliteDb> db);

private:
    std::string m_path;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<CSqliteDb>> m_idle;  // connections reused across requests
};

}  // namespace eqsrv
