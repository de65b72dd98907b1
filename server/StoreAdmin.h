// What eq-server writes into its store besides answering queries: the schema, the demo data
// set, imported rows and the users of --require-auth (checked by CUserCheck). The same operations
// on both engines; --db names either an SQLite file or a postgresql:// URL.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace eqsrv {

// A value of a row written in bulk.
struct Value {
    enum Kind { Null, Number, Text } kind = Null;
    int64_t number = 0;
    std::string text;
    static Value Of(int64_t n) { return {Number, n, {}}; }
    static Value Of(std::string t) { return {Text, 0, std::move(t)}; }
};

// Rows streamed into one table: COPY on PostgreSQL, batched prepared inserts on SQLite.
class CBulkWriter {
public:
    virtual ~CBulkWriter() = default;
    virtual void Add(const std::vector<Value>& row) = 0;
    // Sends what is buffered; throws when the database refused any of the rows.
    virtual void Finish() = 0;
};

// One connection to either engine.
class CAdminDb {
public:
    // create: an SQLite file may be new (a PostgreSQL database must exist).
    static std::unique_ptr<CAdminDb> Open(const std::string& db, bool create);
    virtual ~CAdminDb() = default;
    virtual bool Postgres() const = 0;
    virtual void Exec(const std::string& sql) = 0;
    virtual int64_t Number(const std::string& sql) = 0;  // first column of the first row
    virtual void Begin() = 0;                            // a write transaction
    // Creates or upgrades the schema; refuses a newer one. Returns the version found.
    virtual int Migrate() = 0;
    virtual int SchemaVersion() = 0;
    virtual std::unique_ptr<CBulkWriter> Bulk(const std::string& table,
                                              const std::vector<std::string>& columns) = 0;
    virtual void SetUser(const std::string& name, const std::string& salt, int64_t iterations,
                         const std::string& hash) = 0;
    // False when there is no such user.
    virtual bool GetUser(const std::string& name, std::string& salt, int64_t& iterations,
                         std::string& hash) = 0;
};

struct DemoCounts {
    int hosts = 0;
    int groups = 0;
    int vulnerabilities = 0;
    int observances = 0;
};

// The same rows (ids included) for the same end time, on either engine: two /24 networks, five
// groups, vulnerabilities and observances over the 30 days before endTime. A new SQLite file;
// a PostgreSQL database that holds no hosts yet.
DemoCounts WriteDemoData(const std::string& path, int64_t endTime);

// Sets the password of a user (created when missing): salted PBKDF2-HMAC-SHA256.
void SetUserPassword(const std::string& path, const std::string& name, const std::string& password);

inline constexpr int kPasswordIterations = 100000;

// The stored form of a password: PBKDF2-HMAC-SHA256, 32 bytes.
std::string PasswordHash(const std::string& password, const std::string& salt, int iterations);

}  // namespace eqsrv
