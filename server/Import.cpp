#include "Import.h"

#include <unistd.h>

#include <charconv>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "StoreAdmin.h"
#include "StoreSql.h"
#include "TextCheck.h"

namespace eqsrv {

namespace {

struct Column {
    const char* name;
    enum Type { Text, Integer, Address, Time, Flag } type;
    bool required;
    int64_t min = 0;  // the range of an Integer
    int64_t max = 0;
};

constexpr int64_t kMaxInt32 = 2147483647;
// 9999-12-31T23:59:59Z: the last time an XML dateTime of four year digits can hold.
constexpr int64_t kLastTime = 253402300799;

struct Kind {
    const char* name;
    std::vector<Column> columns;
    // The rows are staged in import_rows (line, then s_<column> per column) and moved into the
    // tables by these statements, in file order; a host named twice keeps its last name.
    // Empty: the rows go straight into observances.
    std::vector<const char*> sqlite;
    std::vector<const char*> postgres;
};

// Hosts named by a vulnerability or membership are created when missing.
const char* const kNewHosts =
    "INSERT INTO hosts (address) SELECT s_address FROM import_rows WHERE true GROUP BY s_address "
    "ORDER BY min(line) ON CONFLICT (address) DO NOTHING";

const std::vector<Kind>& Kinds() {
    static const std::vector<Kind> kinds = {
        {"hosts",
         {{"address", Column::Address, true}, {"name", Column::Text, false}},
         {"INSERT INTO hosts (address, name) SELECT s_address, COALESCE(s_name, '') "
          "FROM import_rows WHERE true ORDER BY line "
          "ON CONFLICT (address) DO UPDATE SET name = excluded.name"},
         // One statement may not update a row twice on PostgreSQL: the last line per address.
         {"INSERT INTO hosts (address, name) SELECT DISTINCT ON (s_address) s_address, "
          "COALESCE(s_name, '') FROM import_rows ORDER BY s_address, line DESC "
          "ON CONFLICT (address) DO UPDATE SET name = excluded.name"}},
        {"groups",
         {{"id", Column::Text, true}, {"name", Column::Text, false}},
         {"INSERT INTO host_groups (id, name) SELECT s_id, COALESCE(s_name, '') "
          "FROM import_rows WHERE true ORDER BY line "
          "ON CONFLICT (id) DO UPDATE SET name = excluded.name"},
         {"INSERT INTO host_groups (id, name) SELECT DISTINCT ON (s_id) s_id, "
          "COALESCE(s_name, '') FROM import_rows ORDER BY s_id, line DESC "
          "ON CONFLICT (id) DO UPDATE SET name = excluded.name"}},
        {"memberships",
         {{"group", Column::Text, true}, {"address", Column::Address, true}},
         {kNewHosts,
          "INSERT INTO memberships (group_id, host_id) SELECT s_group, h.id FROM import_rows "
          "JOIN hosts h ON h.address = s_address WHERE true ORDER BY line ON CONFLICT DO NOTHING"},
         {kNewHosts,
          "INSERT INTO memberships (group_id, host_id) SELECT s_group, h.id FROM import_rows "
          "JOIN hosts h ON h.address = s_address ORDER BY line ON CONFLICT DO NOTHING"}},
        {"vulnerabilities",
         {{"address", Column::Address, true},
          {"identifier", Column::Text, true},
          {"name", Column::Text, false},
          {"severity", Column::Integer, false, 0, 10},
          {"port", Column::Integer, false, 0, 65535},
          {"protocol", Column::Text, false},
          {"first_seen", Column::Time, true},
          {"last_seen", Column::Time, true},
          {"fixed", Column::Flag, false},
          {"fixed_time", Column::Time, false}},
         {kNewHosts,
          "INSERT INTO vulnerabilities (host_id, identifier, name, severity, port, protocol, "
          "first_seen, last_seen, fixed, fixed_time) SELECT h.id, s_identifier, "
          "COALESCE(s_name, ''), COALESCE(s_severity, 0), s_port, COALESCE(s_protocol, ''), "
          "s_first_seen, s_last_seen, COALESCE(s_fixed, 0), s_fixed_time "
          "FROM import_rows JOIN hosts h ON h.address = s_address ORDER BY line"},
         {}},
        {"observances",
         {{"time", Column::Time, true},
          {"source", Column::Address, false},
          {"target", Column::Address, false},
          {"sensor", Column::Address, false},
          {"type_id", Column::Integer, true, 0, kMaxInt32},
          {"name", Column::Text, false},
          {"count", Column::Integer, false, 1, kMaxInt32},
          {"severity", Column::Integer, false, 0, 10}},
         {},
         {}},
    };
    return kinds;
}

// One CSV line (RFC 4180 quoting; a value cannot span lines).
bool SplitCsv(const std::string& line, std::vector<std::string>& values) {
    values.clear();
    std::string value;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                value += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                value += c;
            }
        } else if (c == '"' && value.empty()) {
            quoted = true;
        } else if (c == ',') {
            values.push_back(std::move(value));
            value.clear();
        } else {
            value += c;
        }
    }
    values.push_back(std::move(value));
    return !quoted;
}

// Digits with an optional minus sign, nothing else (no blanks, no plus), within int64_t.
bool ParseInteger(const std::string& text, int64_t& number) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    return error == std::errc() && stop == end && !text.empty();
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Seconds since the epoch, or YYYY-MM-DDThh:mm:ssZ naming a time that exists (no February 30,
// no hour 24, no leap second), from 1970 to 9999.
bool ParseTime(const std::string& text, int64_t& seconds) {
    if (ParseInteger(text, seconds)) return seconds >= 0 && seconds <= kLastTime;
    static const char kPattern[] = "0000-00-00T00:00:00Z";
    if (text.size() != sizeof(kPattern) - 1) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kPattern[i] == '0' ? !digit : text[i] != kPattern[i]) return false;
    }
    const auto field = [&](size_t at, size_t length) { return std::stoi(text.substr(at, length)); };
    const int year = field(0, 4), month = field(5, 2), day = field(8, 2);
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1970 || month < 1 || month > 12 || day < 1 ||
        day > kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0)) {
        return false;
    }
    tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = field(11, 2);
    parts.tm_min = field(14, 2);
    parts.tm_sec = field(17, 2);
    if (parts.tm_hour > 23 || parts.tm_min > 59 || parts.tm_sec > 59) return false;
    seconds = timegm(&parts);
    return true;
}

// One value in the column's type; an empty text is NULL. Returns an error text or "".
std::string ToValue(const Column& column, const std::string& v, Value& out) {
    out = Value{};
    if (v.empty()) {
        return column.required ? std::string("missing ") + column.name : std::string();
    }
    const char* reason = "";
    const size_t bad = FindBadText(v, TextRule::Import, reason);
    if (bad != std::string::npos) {
        return std::string(column.name) + " holds " + reason + " at byte " +
               std::to_string(bad + 1) + ": " + Excerpt(v);
    }
    switch (column.type) {
        case Column::Text:
            out = Value::Of(v);
            return "";
        case Column::Integer: {
            int64_t number = 0;
            if (!ParseInteger(v, number) || number < column.min || number > column.max) {
                return std::string(column.name) + " is not a whole number from " +
                       std::to_string(column.min) + " to " + std::to_string(column.max) + ": " +
                       Excerpt(v);
            }
            out = Value::Of(number);
            return "";
        }
        case Column::Address: {
            uint32_t address = 0;
            if (!ParseIpv4(v, address)) {
                return std::string(column.name) + " is not an IPv4 address: " + Excerpt(v);
            }
            out = Value::Of(static_cast<int64_t>(address));
            return "";
        }
        case Column::Time: {
            int64_t seconds = 0;
            if (!ParseTime(v, seconds)) {
                return std::string(column.name) +
                       " is not a time from 1970 to 9999 (YYYY-MM-DDThh:mm:ssZ or seconds): " +
                       Excerpt(v);
            }
            out = Value::Of(seconds);
            return "";
        }
        case Column::Flag:
            if (v == "true" || v == "1") {
                out = Value::Of(int64_t{1});
            } else if (v == "false" || v == "0") {
                out = Value::Of(int64_t{0});
            } else {
                return std::string(column.name) + " is not true or false: " + Excerpt(v);
            }
            return "";
    }
    return "";
}

// The next line without its end, or false at the end of the file. A line longer than max sets
// tooLong and is not read further, so a file without line ends (/dev/zero) costs max bytes.
bool ReadLine(std::istream& in, std::string& line, size_t max, bool& tooLong) {
    line.clear();
    tooLong = false;
    std::streambuf& buffer = *in.rdbuf();
    for (;;) {
        const int c = buffer.sbumpc();
        if (c == std::char_traits<char>::eof()) return !line.empty();
        if (c == '\n') return true;
        if (line.size() == max) {
            tooLong = true;
            return true;
        }
        line.push_back(static_cast<char>(c));
    }
}

// A running count on a terminal; nothing when stderr is a file or a pipe.
class CProgress {
public:
    explicit CProgress(const std::string& file) : m_file(file), m_bOn(isatty(STDERR_FILENO)) {}
    ~CProgress() {
        if (m_bShown) std::cerr << "\n";
    }
    void Rows(size_t rows) {
        if (!m_bOn || rows % 50000 != 0) return;
        std::cerr << "\r" << m_file << ": " << rows << " rows" << std::flush;
        m_bShown = true;
    }

private:
    std::string m_file;
    bool m_bOn;
    bool m_bShown = false;
};

}  // namespace

size_t ImportFile(const std::string& dbPath, const std::string& kindName, const std::string& file,
                  std::string format) {
    const Kind* kind = nullptr;
    for (const Kind& k : Kinds()) {
        if (kindName == k.name) kind = &k;
    }
    if (kind == nullptr) throw CImportError("unknown kind " + kindName);
    if (format.empty()) {
        const size_t dot = file.rfind('.');
        format = dot == std::string::npos ? "" : file.substr(dot + 1);
        if (format == "json" || format == "ndjson") format = "jsonl";
    }
    if (format != "csv" && format != "jsonl") {
        throw CImportError(file + ": give --format csv or jsonl");
    }
    std::ifstream in(file);
    if (!in) throw CImportError(file + ": cannot read");

    auto db = CAdminDb::Open(dbPath, true);
    db->Migrate();
    const bool postgres = db->Postgres();
    const bool staged = std::string(kind->name) != "observances";
    db->Begin();
    size_t rows = 0;
    size_t lineNumber = 0;
    std::unique_ptr<CBulkWriter> writer;
    auto rollback = [&] {
        writer.reset();
        try {
            db->Exec("ROLLBACK");
        } catch (const std::exception&) {
            // The connection is closed next: its transaction goes with it.
        }
    };
    auto fail = [&](const std::string& what) {
        rollback();
        throw CImportError(file + ":" + std::to_string(lineNumber) + ": " + what);
    };
    try {
        std::vector<std::string> columns;
        if (staged) {
            std::string create = postgres ? "CREATE TEMP TABLE import_rows (line BIGINT"
                                          : "CREATE TEMP TABLE import_rows (line INTEGER";
            columns.push_back("line");
            for (const Column& c : kind->columns) {
                columns.push_back(std::string("s_") + c.name);
                create += ", " + columns.back() +
                          (c.type == Column::Text ? " TEXT"
                           : postgres             ? " BIGINT"
                                                  : " INTEGER");
            }
            db->Exec(create + (postgres ? ") ON COMMIT DROP" : ")"));
            writer = db->Bulk("import_rows", columns);
        } else {
            for (const Column& c : kind->columns) columns.push_back(c.name);
            writer = db->Bulk("observances", columns);
        }
        CProgress progress(file);
        std::vector<Value> row;
        // The text of each of the kind's columns on the current line ("" when not given), and
        // which column each CSV field fills.
        std::vector<std::string> values(kind->columns.size());
        std::vector<size_t> header;
        std::vector<std::string> fields;
        auto columnOf = [&](const std::string& name) {
            for (size_t c = 0; c < kind->columns.size(); ++c) {
                if (name == kind->columns[c].name) return c;
            }
            return kind->columns.size();
        };
        // Vulnerabilities are seen first, then last: the columns to compare.
        const size_t firstSeen = columnOf("first_seen"), lastSeen = columnOf("last_seen");
        const size_t offset = staged ? 1 : 0;
        std::string line;
        bool tooLong = false;
        while (ReadLine(in, line, kMaxImportLine + 1, tooLong)) {
            ++lineNumber;
            if (!tooLong && !line.empty() && line.back() == '\r') line.pop_back();
            if (tooLong || line.size() > kMaxImportLine) {
                fail("line longer than " + std::to_string(kMaxImportLine) + " bytes");
            }
            if (line.empty()) continue;
            for (std::string& v : values) v.clear();
            if (format == "csv") {
                if (!SplitCsv(line, fields)) fail("unterminated quote");
                if (header.empty()) {
                    for (const std::string& name : fields) {
                        header.push_back(columnOf(name));
                        if (header.back() == kind->columns.size()) {
                            fail("unknown column " + Excerpt(name));
                        }
                    }
                    continue;
                }
                if (fields.size() != header.size()) {
                    fail(std::to_string(fields.size()) + " values for " +
                         std::to_string(header.size()) + " columns");
                }
                for (size_t i = 0; i < fields.size(); ++i) values[header[i]].swap(fields[i]);
            } else {
                nlohmann::json object;
                try {
                    object = nlohmann::json::parse(line);
                } catch (const nlohmann::json::exception& e) {
                    // The parser's text ends with what it last read, which may be the whole line.
                    const std::string what = e.what();
                    fail("not JSON: " + Excerpt(what.substr(0, what.find("; last read")), 160));
                }
                if (!object.is_object()) fail("not a JSON object");
                for (auto it = object.begin(); it != object.end(); ++it) {
                    const size_t c = columnOf(it.key());
                    if (c == kind->columns.size()) fail("unknown field " + Excerpt(it.key()));
                    if (it.value().is_string()) {
                        values[c] = it.value().get<std::string>();
                    } else if (it.value().is_boolean()) {
                        values[c] = it.value().get<bool>() ? "true" : "false";
                    } else if (it.value().is_number_unsigned()) {
                        // Read as int64_t, 2^64 - 1 would become -1.
                        values[c] = std::to_string(it.value().get<uint64_t>());
                    } else if (it.value().is_number_integer()) {
                        values[c] = std::to_string(it.value().get<int64_t>());
                    } else if (!it.value().is_null()) {
                        fail("field " + Excerpt(it.key()) + " is not a text, integer or flag");
                    }
                }
            }
            row.assign(kind->columns.size() + offset, Value{});
            if (staged) row[0] = Value::Of(static_cast<int64_t>(lineNumber));
            for (size_t i = 0; i < kind->columns.size(); ++i) {
                const std::string error = ToValue(kind->columns[i], values[i], row[i + offset]);
                if (!error.empty()) fail(error);
            }
            if (lastSeen < kind->columns.size() &&
                row[lastSeen + offset].number < row[firstSeen + offset].number) {
                fail("last_seen is before first_seen");
            }
            if (!staged) {
                // The defaults the table would give, since COPY takes every listed column.
                if (row[5].kind == Value::Null) row[5] = Value::Of(std::string());
                if (row[6].kind == Value::Null) row[6] = Value::Of(int64_t{1});
                if (row[7].kind == Value::Null) row[7] = Value::Of(int64_t{0});
            }
            try {
                writer->Add(row);
            } catch (const std::exception& e) {
                fail(e.what());
            }
            progress.Rows(++rows);
        }
        if (format == "csv" && header.empty()) fail("no header line");
        writer->Finish();
        writer.reset();
        // Statements the engines read alike are given once, for SQLite.
        for (const char* sql :
             postgres && !kind->postgres.empty() ? kind->postgres : kind->sqlite) {
            db->Exec(sql);
        }
    } catch (const CImportError&) {
        throw;
    } catch (const std::exception& e) {
        rollback();
        throw CImportError(file + ": " + e.what());
    }
    db->Exec("COMMIT");
    return rows;
}

}  // namespace eqsrv
