#include "SqliteStore.h"

#include <arpa/inet.h>

#include <cstdio>
#include <ctime>
#include <stdexcept>

namespace eqsrv {

namespace {

[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
    throw std::runtime_error(what + ": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory"));
}

const char* const kSchema = R"(
CREATE TABLE IF NOT EXISTS hosts (
    id INTEGER PRIMARY KEY,
    address INTEGER NOT NULL UNIQUE,      -- IPv4, host byte order
    name TEXT NOT NULL DEFAULT ''
);
CREATE TABLE IF NOT EXISTS host_groups (
    id TEXT PRIMARY KEY,
    name TEXT NOT NULL DEFAULT ''
);
CREATE TABLE IF NOT EXISTS memberships (
    group_id TEXT NOT NULL REFERENCES host_groups(id),
    host_id INTEGER NOT NULL REFERENCES hosts(id),
    PRIMARY KEY (group_id, host_id)
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS vulnerabilities (
    id INTEGER PRIMARY KEY,
    host_id INTEGER NOT NULL REFERENCES hosts(id),
    identifier TEXT NOT NULL,
    name TEXT NOT NULL DEFAULT '',
    severity INTEGER NOT NULL DEFAULT 0,
    port INTEGER,
    protocol TEXT NOT NULL DEFAULT '',
    first_seen INTEGER NOT NULL,
    last_seen INTEGER NOT NULL,
    fixed INTEGER NOT NULL DEFAULT 0,
    fixed_time INTEGER
);
CREATE INDEX IF NOT EXISTS vulnerabilities_by_host
    ON vulnerabilities (host_id, fixed, last_seen, id);
CREATE TABLE IF NOT EXISTS observances (
    id INTEGER PRIMARY KEY,
    time INTEGER NOT NULL,
    source INTEGER,
    target INTEGER,
    sensor INTEGER,
    type_id INTEGER NOT NULL,
    name TEXT NOT NULL DEFAULT '',
    count INTEGER NOT NULL DEFAULT 1,
    severity INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS observances_by_source ON observances (source, time, id);
CREATE INDEX IF NOT EXISTS observances_by_target ON observances (target, time, id);
CREATE INDEX IF NOT EXISTS observances_by_sensor ON observances (sensor, time, id);
CREATE TABLE IF NOT EXISTS users (
    name TEXT PRIMARY KEY,
    salt BLOB NOT NULL,
    iterations INTEGER NOT NULL,
    hash BLOB NOT NULL
);
)";

}  // namespace

const std::vector<std::string>& VulnerabilityFields() {
    static const std::vector<std::string> fields = {
        "address",  "host-name",  "identifier", "name",  "severity",  "port",
        "protocol", "first-seen", "last-seen",  "fixed", "fixed-time"};
    return fields;
}

const std::vector<std::string>& ObservanceFields() {
    static const std::vector<std::string> fields = {
        "time",    "source-address", "target-address", "sensor-address",
        "type-id", "name",           "count",          "severity"};
    return fields;
}

bool ParseIpv4(const std::string& text, uint32_t& value) {
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1) return false;
    value = ntohl(address.s_addr);
    return true;
}

std::string FormatIpv4(uint32_t value) {
    in_addr address{};
    address.s_addr = htonl(value);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof(text));
    return text;
}

std::string FormatTime(int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    tm parts{};
    gmtime_r(&t, &parts);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

CSqliteDb::CSqliteDb(const std::string& path, bool create) {
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        const std::string message = m_db != nullptr ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        throw std::runtime_error("cannot open " + path + ": " + message);
    }
    // Writers (imports, other processes) must not make readers fail at once.
    sqlite3_busy_timeout(m_db, 10000);
}

CSqliteDb::~CSqliteDb() { sqlite3_close(m_db); }

void CSqliteDb::Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error != nullptr ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error("SQL failed: " + message);
    }
}

CStatement::CStatement(sqlite3* db, const std::string& sql) : m_db(db) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &m_stmt, nullptr) != SQLITE_OK) {
        Fail(db, "cannot prepare statement");
    }
}

void CStatement::Bind(int index, int64_t value) {
    if (sqlite3_bind_int64(m_stmt, index, value) != SQLITE_OK) Fail(m_db, "cannot bind");
}

void CStatement::Bind(int index, const std::string& value) {
    if (sqlite3_bind_text(m_stmt, index, value.data(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK) {
        Fail(m_db, "cannot bind");
    }
}

void CStatement::Bind(int index, const SqlParam& param) {
    if (param.isText) {
        Bind(index, param.text);
    } else {
        Bind(index, param.number);
    }
}

bool CStatement::Step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    Fail(m_db, "query failed");
}

void CStatement::Reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

void CStatement::BindBlob(int index, const std::string& bytes) {
    if (sqlite3_bind_blob(m_stmt, index, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK) {
        Fail(m_db, "cannot bind");
    }
}

std::string CStatement::Blob(int column) const {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
    return bytes != nullptr ? std::string(bytes, sqlite3_column_bytes(m_stmt, column))
                            : std::string();
}

std::string CStatement::Text(int column) const {
    const auto* text = sqlite3_column_text(m_stmt, column);
    return text != nullptr ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

int SchemaVersion(CSqliteDb& db) {
    CStatement exists(db.Handle(),
                      "SELECT count(*) FROM sqlite_master WHERE name = 'schema_version'");
    exists.Step();
    if (exists.Int(0) == 0) return 0;
    CStatement version(db.Handle(), "SELECT COALESCE(max(version), 0) FROM schema_version");
    version.Step();
    return static_cast<int>(version.Int(0));
}

int CreateSchema(CSqliteDb& db) {
    // WAL lets an import or another writer run while queries read.
    db.Exec("PRAGMA journal_mode = WAL;");
    db.Exec("BEGIN IMMEDIATE");
    try {
        const int found = SchemaVersion(db);
        CheckSchemaVersion(found, "the file");
        // Version 1 is the first schema; a file without the version table predates it only
        // by that table.
        if (found < 1) db.Exec(kSchema);
        db.Exec(
            "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL);"
            "DELETE FROM schema_version;"
            "INSERT INTO schema_version VALUES (" +
            std::to_string(kSchemaVersion) + ");");
        db.Exec("COMMIT");
        return found;
    } catch (...) {
        db.Exec("ROLLBACK");
        throw;
    }
}

CSqliteStore::CSqliteStore(std::string path) : m_path(std::move(path)) {
    // Fails early on a missing or unreadable file, and brings an older file up to the schema.
    auto db = std::make_unique<CSqliteDb>(m_path, false);
    CreateSchema(*db);
    Release(std::move(db));
}

std::unique_ptr<CSqliteDb> CSqliteStore::Acquire() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_idle.empty()) {
            auto db = std::move(m_idle.back());
            m_idle.pop_back();
            return db;
        }
    }
    return std::make_unique<CSqliteDb>(m_path, false);
}

void CSqliteStore::Release(std::unique_ptr<CSqliteDb> db) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_idle.push_back(std::move(db));
}

namespace {

void BindAll(CStatement& statement, const SqlQuery& sql) {
    for (size_t i = 0; i < sql.params.size(); ++i) {
        statement.Bind(static_cast<int>(i + 1), sql.params[i]);
    }
}

// Holds a connection and a read transaction from the summary to the last row, so that rows
// added meanwhile cannot make the summary and the rows disagree.
class CSqliteRowReader : public CRowReader {
public:
    CSqliteRowReader(CSqliteStore& store, const StoreQuery& query)
        : m_store(store), m_db(store.Acquire()), m_kind(query.kind) {
        const SqlQuery sql = BuildSql(query);
        m_db->Exec("BEGIN");
        m_bOpen = true;
        {
            CStatement summary(m_db->Handle(), SummarySql(sql.sql));
            BindAll(summary, sql);
            if (summary.Step()) {
                m_summary.count = static_cast<uint32_t>(summary.Int(0));
                if (m_summary.count > 0) {
                    m_summary.first = Position{summary.Int(1), summary.Int(2)};
                    m_summary.last = Position{summary.Int(3), summary.Int(4)};
                }
            }
        }
        m_rows = std::make_unique<CStatement>(m_db->Handle(), sql.sql);
        BindAll(*m_rows, sql);
    }

    ~CSqliteRowReader() override {
        m_rows.reset();
        if (m_bOpen) {
            try {
                m_db->Exec("COMMIT");
                m_store.Release(std::move(m_db));
            } catch (const std::exception&) {
                // A connection in an unknown state is not reused.
            }
        }
    }

    const PageSummary& Summary() const override { return m_summary; }

    bool Next(Row& row) override {
        if (!m_rows->Step()) return false;
        const CStatement& s = *m_rows;
        row = ReadRow({[&s](int c) { return s.Int(c); }, [&s](int c) { return s.Text(c); },
                       [&s](int c) { return s.IsNull(c); }},
                      m_kind);
        return true;
    }

private:
    CSqliteStore& m_store;
    std::unique_ptr<CSqliteDb> m_db;
    QueryKind m_kind;
    bool m_bOpen = false;
    PageSummary m_summary;
    std::unique_ptr<CStatement> m_rows;
};

}  // namespace

std::unique_ptr<CRowReader> CSqliteStore::Open(const StoreQuery& query) {
    return std::make_unique<CSqliteRowReader>(*this, query);
}

}  // namespace eqsrv
