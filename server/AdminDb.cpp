// CAdminDb on SQLite and on PostgreSQL.
#include <stdexcept>

#include "PgStore.h"
#include "SqliteStore.h"
#include "StoreAdmin.h"

namespace eqsrv {

namespace {

// ---- SQLite ----------------------------------------------------------------------------------

// Rows go out in statements of kBatch rows each: fewer statement steps per row, one transaction.
class CSqliteBulk : public CBulkWriter {
public:
    static constexpr size_t kBatch = 64;

    CSqliteBulk(CSqliteDb& db, const std::string& table, const std::vector<std::string>& columns)
        : m_width(columns.size()) {
        std::string head = "INSERT INTO " + table + " (";
        std::string one = "(";
        for (size_t i = 0; i < columns.size(); ++i) {
            head += (i > 0 ? ", " : "") + columns[i];
            one += i > 0 ? ", ?" : "?";
        }
        head += ") VALUES ";
        one += ")";
        std::string many;
        for (size_t i = 0; i < kBatch; ++i) many += (i > 0 ? ", " : "") + one;
        m_batch = std::make_unique<CStatement>(db.Handle(), head + many);
        m_single = std::make_unique<CStatement>(db.Handle(), head + one);
    }

    void Add(const std::vector<Value>& row) override {
        if (row.size() != m_width) throw std::logic_error("bulk row of the wrong width");
        m_rows[m_pending] = row;  // reuses the slot's storage
        if (++m_pending < kBatch) return;
        for (size_t r = 0; r < kBatch; ++r) Bind(*m_batch, r * m_width, m_rows[r]);
        m_batch->Step();
        m_batch->Reset();
        m_pending = 0;
    }

    void Finish() override {
        // A partial batch goes out row by row: the batch statement needs all kBatch rows.
        for (size_t r = 0; r < m_pending; ++r) {
            Bind(*m_single, 0, m_rows[r]);
            m_single->Step();
            m_single->Reset();
        }
        m_pending = 0;
    }

private:
    static void Bind(CStatement& s, size_t first, const std::vector<Value>& row) {
        for (size_t i = 0; i < row.size(); ++i) {
            const int index = static_cast<int>(first + i + 1);
            switch (row[i].kind) {
                case Value::Null:
                    s.BindNull(index);
                    break;
                case Value::Number:
                    s.Bind(index, row[i].number);
                    break;
                case Value::Text:
                    s.Bind(index, row[i].text);
                    break;
            }
        }
    }

    size_t m_width;
    std::unique_ptr<CStatement> m_batch;
    std::unique_ptr<CStatement> m_single;
    size_t m_pending = 0;
    std::vector<std::vector<Value>> m_rows = std::vector<std::vector<Value>>(kBatch);
};

class CSqliteAdmin : public CAdminDb {
public:
    CSqliteAdmin(const std::string& path, bool create) : m_db(path, create) {
        // A large load touches index pages all over the file: with the default 2 MB cache they
        // are spilled and read back again and again before the commit.
        m_db.Exec("PRAGMA cache_size = -262144; PRAGMA temp_store = MEMORY;");
    }
    bool Postgres() const override { return false; }
    void Exec(const std::string& sql) override { m_db.Exec(sql); }
    int64_t Number(const std::string& sql) override {
        CStatement s(m_db.Handle(), sql);
        return s.Step() ? s.Int(0) : 0;
    }
    void Begin() override { m_db.Exec("BEGIN IMMEDIATE"); }
    int Migrate() override { return CreateSchema(m_db); }
    int SchemaVersion() override { return eqsrv::SchemaVersion(m_db); }
    std::unique_ptr<CBulkWriter> Bulk(const std::string& table,
                                      const std::vector<std::string>& columns) override {
        return std::make_unique<CSqliteBulk>(m_db, table, columns);
    }
    void SetUser(const std::string& name, const std::string& salt, int64_t iterations,
                 const std::string& hash) override {
        CStatement insert(m_db.Handle(),
                          "INSERT OR REPLACE INTO users (name, salt, iterations, hash) "
                          "VALUES (?, ?, ?, ?)");
        insert.Bind(1, name);
        insert.BindBlob(2, salt);
        insert.Bind(3, iterations);
        insert.BindBlob(4, hash);
        insert.Step();
    }
    bool GetUser(const std::string& name, std::string& salt, int64_t& iterations,
                 std::string& hash) override {
        CStatement select(m_db.Handle(), "SELECT salt, iterations, hash FROM users WHERE name = ?");
        select.Bind(1, name);
        if (!select.Step()) return false;
        salt = select.Blob(0);
        iterations = select.Int(1);
        hash = select.Blob(2);
        return true;
    }

private:
    CSqliteDb m_db;
};

// ---- PostgreSQL ------------------------------------------------------------------------------

class CPgCopy : public CBulkWriter {
public:
    CPgCopy(CPgConn& conn, const std::string& table, const std::vector<std::string>& columns)
        : m_conn(conn) {
        std::string sql = "COPY " + table + " (";
        for (size_t i = 0; i < columns.size(); ++i) sql += (i > 0 ? ", " : "") + columns[i];
        sql += ") FROM STDIN";
        PgResult result(PQexec(conn.Handle(), sql.c_str()));
        if (PQresultStatus(result.get()) != PGRES_COPY_IN) conn.Fail("cannot start COPY");
        m_bCopying = true;
    }

    ~CPgCopy() override {
        if (!m_bCopying) return;
        // Broken off: the transaction fails and is rolled back by its owner.
        PQputCopyEnd(m_conn.Handle(), "import abandoned");
        while (PGresult* rest = PQgetResult(m_conn.Handle())) PQclear(rest);
    }

    void Add(const std::vector<Value>& row) override {
        for (size_t i = 0; i < row.size(); ++i) {
            if (i > 0) m_buffer += '\t';
            switch (row[i].kind) {
                case Value::Null:
                    m_buffer += "\\N";
                    break;
                case Value::Number:
                    m_buffer += std::to_string(row[i].number);
                    break;
                case Value::Text:
                    Escape(row[i].text);
                    break;
            }
        }
        m_buffer += '\n';
        if (m_buffer.size() >= size_t{256} * 1024) Flush();
    }

    void Finish() override {
        Flush();
        m_bCopying = false;
        if (PQputCopyEnd(m_conn.Handle(), nullptr) != 1) m_conn.Fail("COPY failed");
        PgResult result(PQgetResult(m_conn.Handle()));
        const bool ok = PQresultStatus(result.get()) == PGRES_COMMAND_OK;
        while (PGresult* rest = PQgetResult(m_conn.Handle())) PQclear(rest);
        if (!ok) {
            std::string message = PQresultErrorMessage(result.get());
            while (!message.empty() && message.back() == '\n') message.pop_back();
            throw std::runtime_error("COPY failed: " + message);
        }
    }

private:
    void Escape(const std::string& text) {
        for (char c : text) {
            switch (c) {
                case '\\':
                    m_buffer += "\\\\";
                    break;
                case '\t':
                    m_buffer += "\\t";
                    break;
                case '\n':
                    m_buffer += "\\n";
                    break;
                case '\r':
                    m_buffer += "\\r";
                    break;
                default:
                    m_buffer += c;
            }
        }
    }

    void Flush() {
        if (m_buffer.empty()) return;
        if (PQputCopyData(m_conn.Handle(), m_buffer.data(), static_cast<int>(m_buffer.size())) !=
            1) {
            m_conn.Fail("COPY failed");
        }
        m_buffer.clear();
    }

    CPgConn& m_conn;
    std::string m_buffer;
    bool m_bCopying = false;
};

class CPgAdmin : public CAdminDb {
public:
    explicit CPgAdmin(const std::string& url)
        : m_url(url), m_conn(std::make_unique<CPgConn>(url)) {}
    bool Postgres() const override { return true; }
    void Exec(const std::string& sql) override { m_conn->Exec(sql); }
    int64_t Number(const std::string& sql) override {
        PgResult result = m_conn->Run(sql, {});
        return PQntuples(result.get()) > 0
                   ? std::strtoll(PQgetvalue(result.get(), 0, 0), nullptr, 10)
                   : 0;
    }
    void Begin() override { m_conn->Exec("BEGIN"); }
    int Migrate() override { return PgMigrate(*m_conn); }
    int SchemaVersion() override { return PgSchemaVersion(*m_conn); }
    std::unique_ptr<CBulkWriter> Bulk(const std::string& table,
                                      const std::vector<std::string>& columns) override {
        return std::make_unique<CPgCopy>(*m_conn, table, columns);
    }
    void SetUser(const std::string& name, const std::string& salt, int64_t iterations,
                 const std::string& hash) override {
        m_conn->Run(
            "INSERT INTO users (name, salt, iterations, hash) VALUES ($1, $2, $3, $4) "
            "ON CONFLICT (name) DO UPDATE SET salt = excluded.salt, "
            "iterations = excluded.iterations, hash = excluded.hash",
            {{PgParam::Text, 0, name},
             {PgParam::Bytes, 0, salt},
             {PgParam::Number, iterations, {}},
             {PgParam::Bytes, 0, hash}});
    }
    bool GetUser(const std::string& name, std::string& salt, int64_t& iterations,
                 std::string& hash) override {
        // A server checks users for as long as it runs: after a restart of the database the
        // first check finds the connection gone and takes a new one.
        for (int attempt = 0;; ++attempt) {
            try {
                return Select(name, salt, iterations, hash);
            } catch (const std::exception&) {
                if (!m_conn->Broken() || attempt > 0) throw;
                m_conn = std::make_unique<CPgConn>(m_url);
            }
        }
    }

private:
    bool Select(const std::string& name, std::string& salt, int64_t& iterations,
                std::string& hash) {
        PgResult r = m_conn->Run(
            "SELECT encode(salt, 'hex'), iterations, encode(hash, 'hex') FROM users "
            "WHERE name = $1",
            {{PgParam::Text, 0, name}});
        if (PQntuples(r.get()) == 0) return false;
        salt = FromHex(PQgetvalue(r.get(), 0, 0));
        iterations = std::strtoll(PQgetvalue(r.get(), 0, 1), nullptr, 10);
        hash = FromHex(PQgetvalue(r.get(), 0, 2));
        return true;
    }

    static std::string FromHex(const std::string& hex) {
        std::string bytes;
        for (size_t i = 0; i + 1 < hex.size(); i += 2) {
            bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        }
        return bytes;
    }

    std::string m_url;
    std::unique_ptr<CPgConn> m_conn;
};

}  // namespace

std::unique_ptr<CAdminDb> CAdminDb::Open(const std::string& db, bool create) {
    if (IsPostgresUrl(db)) return std::make_unique<CPgAdmin>(db);
    return std::make_unique<CSqliteAdmin>(db, create);
}

}  // namespace eqsrv
