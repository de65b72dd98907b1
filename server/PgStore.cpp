#include "PgStore.h"

#include <cstdlib>
#include <stdexcept>

namespace eqsrv {

namespace {

// The same tables as on SQLite. SQLite does not enforce foreign keys, so neither does this
// schema: an import behaves the same on both engines.
const char* const kSchema = R"(
CREATE TABLE IF NOT EXISTS hosts (
    id BIGSERIAL PRIMARY KEY,
    address BIGINT NOT NULL UNIQUE,
    name TEXT NOT NULL DEFAULT ''
);
CREATE TABLE IF NOT EXISTS host_groups (
    id TEXT PRIMARY KEY,
    name TEXT NOT NULL DEFAULT ''
);
CREATE TABLE IF NOT EXISTS memberships (
    group_id TEXT NOT NULL,
    host_id BIGINT NOT NULL,
    PRIMARY KEY (group_id, host_id)
);
CREATE TABLE IF NOT EXISTS vulnerabilities (
    id BIGSERIAL PRIMARY KEY,
    host_id BIGINT NOT NULL,
    identifier TEXT NOT NULL,
    name TEXT NOT NULL DEFAULT '',
    severity BIGINT NOT NULL DEFAULT 0,
    port BIGINT,
    protocol TEXT NOT NULL DEFAULT '',
    first_seen BIGINT NOT NULL,
    last_seen BIGINT NOT NULL,
    fixed BIGINT NOT NULL DEFAULT 0,
    fixed_time BIGINT
);
CREATE INDEX IF NOT EXISTS vulnerabilities_by_host
    ON vulnerabilities (host_id, fixed, last_seen, id);
CREATE TABLE IF NOT EXISTS observances (
    id BIGSERIAL PRIMARY KEY,
    time BIGINT NOT NULL,
    source BIGINT,
    target BIGINT,
    sensor BIGINT,
    type_id BIGINT NOT NULL,
    name TEXT NOT NULL DEFAULT '',
    count BIGINT NOT NULL DEFAULT 1,
    severity BIGINT NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS observances_by_source ON observances (source, time, id);
CREATE INDEX IF NOT EXISTS observances_by_target ON observances (target, time, id);
CREATE INDEX IF NOT EXISTS observances_by_sensor ON observances (sensor, time, id);
CREATE TABLE IF NOT EXISTS users (
    name TEXT PRIMARY KEY,
    salt BYTEA NOT NULL,
    iterations BIGINT NOT NULL,
    hash BYTEA NOT NULL
);
)";

void Quiet(void*, const char*) {}  // "already exists, skipping" and the like

int64_t Number(const PGresult* result, int row, int column) {
    return std::strtoll(PQgetvalue(result, row, column), nullptr, 10);
}

}  // namespace

CPgConn::CPgConn(const std::string& url) : m_conn(PQconnectdb(url.c_str())) {
    if (m_conn == nullptr) throw std::runtime_error("out of memory");
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const std::string message = PQerrorMessage(m_conn);
        PQfinish(m_conn);
        m_conn = nullptr;
        throw std::runtime_error("cannot connect to PostgreSQL: " + message);
    }
    PQsetNoticeProcessor(m_conn, Quiet, nullptr);
}

CPgConn::~CPgConn() {
    if (m_conn != nullptr) PQfinish(m_conn);
}

void CPgConn::Fail(const std::string& what) const {
    std::string message = PQerrorMessage(m_conn);
    while (!message.empty() && message.back() == '\n') message.pop_back();
    throw std::runtime_error(what + ": " + message);
}

void CPgConn::Exec(const std::string& sql) {
    PgResult result(PQexec(m_conn, sql.c_str()));
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) Fail("SQL failed");
}

const std::string& CPgConn::Prepare(const std::string& sql) {
    auto found = m_prepared.find(sql);
    if (found != m_prepared.end()) return found->second;
    const std::string name = "s" + std::to_string(m_prepared.size() + 1);
    PgResult result(PQprepare(m_conn, name.c_str(), sql.c_str(), 0, nullptr));
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) Fail("cannot prepare statement");
    return m_prepared.emplace(sql, name).first->second;
}

namespace {

struct Arguments {
    std::vector<std::string> texts;
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    explicit Arguments(const std::vector<PgParam>& params) {
        texts.reserve(params.size());
        for (const PgParam& p : params) {
            texts.push_back(p.kind == PgParam::Number ? std::to_string(p.number) : p.text);
        }
        for (size_t i = 0; i < params.size(); ++i) {
            values.push_back(params[i].kind == PgParam::Null ? nullptr : texts[i].c_str());
            lengths.push_back(static_cast<int>(texts[i].size()));
            formats.push_back(params[i].kind == PgParam::Bytes ? 1 : 0);
        }
    }
};

}  // namespace

PgResult CPgConn::Run(const std::string& sql, const std::vector<PgParam>& params) {
    const std::string& name = Prepare(sql);
    const Arguments a(params);
    PgResult result(PQexecPrepared(m_conn, name.c_str(), static_cast<int>(params.size()),
                                   a.values.data(), a.lengths.data(), a.formats.data(), 0));
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) Fail("query failed");
    return result;
}

void CPgConn::SendSingleRows(const std::string& sql, const std::vector<PgParam>& params) {
    const std::string& name = Prepare(sql);
    const Arguments a(params);
    if (PQsendQueryPrepared(m_conn, name.c_str(), static_cast<int>(params.size()), a.values.data(),
                            a.lengths.data(), a.formats.data(), 0) != 1 ||
        PQsetSingleRowMode(m_conn) != 1) {
        Fail("query failed");
    }
}

std::vector<PgParam> PgParams(const std::vector<SqlParam>& params) {
    std::vector<PgParam> out;
    out.reserve(params.size());
    for (const SqlParam& p : params) {
        out.push_back(p.isText ? PgParam{PgParam::Text, 0, p.text}
                               : PgParam{PgParam::Number, p.number, {}});
    }
    return out;
}

int PgSchemaVersion(CPgConn& conn) {
    PgResult exists = conn.Run("SELECT to_regclass('schema_version') IS NOT NULL", {});
    if (std::string(PQgetvalue(exists.get(), 0, 0)) != "t") return 0;
    PgResult version = conn.Run("SELECT COALESCE(max(version), 0) FROM schema_version", {});
    return static_cast<int>(Number(version.get(), 0, 0));
}

int PgMigrate(CPgConn& conn) {
    conn.Exec("BEGIN");
    try {
        // Several servers or operators may migrate at once: one at a time, the others then
        // find the work done.
        conn.Exec("SELECT pg_advisory_xact_lock(7305202612060001)");
        const int found = PgSchemaVersion(conn);
        CheckSchemaVersion(found, "the database");
        if (found < 1) conn.Exec(kSchema);
        conn.Exec(
            "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL);"
            "DELETE FROM schema_version;"
            "INSERT INTO schema_version VALUES (" +
            std::to_string(kSchemaVersion) + ");");
        conn.Exec("COMMIT");
        return found;
    } catch (...) {
        PgResult ignored(PQexec(conn.Handle(), "ROLLBACK"));
        throw;
    }
}

CPgStore::CPgStore(std::string url, size_t poolSize)
    : m_url(std::move(url)), m_poolSize(poolSize > 0 ? poolSize : 1) {
    auto conn = std::make_unique<CPgConn>(m_url);
    const int version = PgSchemaVersion(*conn);
    CheckSchemaVersion(version, "the database");
    if (version < kSchemaVersion) {
        throw std::runtime_error("the database has schema version " + std::to_string(version) +
                                 ": run eq-server migrate first");
    }
    m_idle.push_back(std::move(conn));
}

std::unique_ptr<CPgConn> CPgStore::Acquire() {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_freed.wait(lock, [this] { return m_out < m_poolSize; });
        ++m_out;
        if (!m_idle.empty()) {
            auto conn = std::move(m_idle.back());
            m_idle.pop_back();
            return conn;
        }
    }
    try {
        return std::make_unique<CPgConn>(m_url);
    } catch (...) {
        Release(nullptr);
        throw;
    }
}

void CPgStore::Release(std::unique_ptr<CPgConn> conn) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        --m_out;
        if (conn && !conn->Broken()) m_idle.push_back(std::move(conn));
    }
    m_freed.notify_one();
}

void CPgStore::DropIdle() {
    std::vector<std::unique_ptr<CPgConn>> gone;
    std::lock_guard<std::mutex> lock(m_mutex);
    gone.swap(m_idle);
}

namespace {

class CPgRowReader : public CRowReader {
public:
    CPgRowReader(CPgStore& store, const StoreQuery& query) : m_store(store), m_kind(query.kind) {
        const SqlQuery sql = BuildSql(query, Dialect::Postgres);
        const std::vector<PgParam> params = PgParams(sql.params);
        // An idle connection may have outlived a restart of the database. Nothing has been
        // answered yet, so a second try on a new connection is safe.
        for (int attempt = 0;; ++attempt) {
            m_conn = m_store.Acquire();
            try {
                Start(sql, params);
                return;
            } catch (const std::exception&) {
                const bool broken = m_conn->Broken();
                m_conn.reset();
                m_store.Release(nullptr);
                if (!broken || attempt > 0) throw;
                m_store.DropIdle();
            }
        }
    }

    ~CPgRowReader() override {
        if (!m_conn) return;
        PGconn* handle = m_conn->Handle();
        if (!m_bDone) {
            // Left before the last row (the client went away): stop the server sending more.
            if (PGcancel* cancel = PQgetCancel(handle)) {
                char error[256];
                PQcancel(cancel, error, sizeof(error));
                PQfreeCancel(cancel);
            }
            while (PGresult* rest = PQgetResult(handle)) PQclear(rest);
        }
        PgResult end(PQexec(handle, "ROLLBACK"));  // read only: nothing to keep
        const bool reusable = PQresultStatus(end.get()) == PGRES_COMMAND_OK;
        m_store.Release(reusable ? std::move(m_conn) : nullptr);
    }

    const PageSummary& Summary() const override { return m_summary; }

    bool Next(Row& row) override {
        if (m_bDone) return false;
        PgResult result(PQgetResult(m_conn->Handle()));
        const ExecStatusType status = PQresultStatus(result.get());
        if (result && status == PGRES_SINGLE_TUPLE) {
            const PGresult* r = result.get();
            row = ReadRow({[r](int c) { return Number(r, 0, c); },
                           [r](int c) { return std::string(PQgetvalue(r, 0, c)); },
                           [r](int c) { return PQgetisnull(r, 0, c) != 0; }},
                          m_kind);
            return true;
        }
        if (result && status != PGRES_TUPLES_OK) m_conn->Fail("query failed");
        while (PGresult* rest = PQgetResult(m_conn->Handle())) PQclear(rest);
        m_bDone = true;
        return false;
    }

private:
    void Start(const SqlQuery& sql, const std::vector<PgParam>& params) {
        m_conn->Exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
        PgResult summary = m_conn->Run(SummarySql(sql.sql), params);
        const PGresult* s = summary.get();
        m_summary.count = static_cast<uint32_t>(Number(s, 0, 0));
        if (m_summary.count > 0) {
            m_summary.first = Position{Number(s, 0, 1), Number(s, 0, 2)};
            m_summary.last = Position{Number(s, 0, 3), Number(s, 0, 4)};
        }
        m_conn->SendSingleRows(sql.sql, params);
    }

    CPgStore& m_store;
    std::unique_ptr<CPgConn> m_conn;
    QueryKind m_kind;
    bool m_bDone = false;
    PageSummary m_summary;
};

}  // namespace

std::unique_ptr<CRowReader> CPgStore::Open(const StoreQuery& query) {
    return std::make_unique<CPgRowReader>(*this, query);
}

}  // namespace eqsrv
