#include "Import.h"

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <vector>

#include "SqliteStore.h"

namespace eqsrv {

namespace {

struct Column {
    const char* name;
    enum Type { Text, Integer, Address, Time, Flag } type;
    bool required;
};

struct Kind {
    const char* name;
    std::vector<Column> columns;
    const char* sql;  // parameters in column order
};

// Hosts named by a vulnerability, membership or observance are created when missing.
const std::vector<Kind>& Kinds() {
    static const std::vector<Kind> kinds = {
        {"hosts",
         {{"address", Column::Address, true}, {"name", Column::Text, false}},
         "INSERT INTO hosts (address, name) VALUES (?1, COALESCE(?2, '')) "
         "ON CONFLICT (address) DO UPDATE SET name = excluded.name"},
        {"groups",
         {{"id", Column::Text, true}, {"name", Column::Text, false}},
         "INSERT INTO host_groups (id, name) VALUES (?1, COALESCE(?2, '')) "
         "ON CONFLICT (id) DO UPDATE SET name = excluded.name"},
        {"memberships",
         {{"group", Column::Text, true}, {"address", Column::Address, true}},
         "INSERT OR IGNORE INTO memberships (group_id, host_id) "
         "SELECT ?1, id FROM hosts WHERE address = ?2"},
        {"vulnerabilities",
         {{"address", Column::Address, true},
          {"identifier", Column::Text, true},
          {"name", Column::Text, false},
          {"severity", Column::Integer, false},
          {"port", Column::Integer, false},
          {"protocol", Column::Text, false},
          {"first_seen", Column::Time, true},
          {"last_seen", Column::Time, true},
          {"fixed", Column::Flag, false},
          {"fixed_time", Column::Time, false}},
         "INSERT INTO vulnerabilities (host_id, identifier, name, severity, port, protocol, "
         "first_seen, last_seen, fixed, fixed_time) SELECT id, ?2, COALESCE(?3, ''), "
         "COALESCE(?4, 0), ?5, COALESCE(?6, ''), ?7, ?8, COALESCE(?9, 0), ?10 "
         "FROM hosts WHERE address = ?1"},
        {"observances",
         {{"time", Column::Time, true},
          {"source", Column::Address, false},
          {"target", Column::Address, false},
          {"sensor", Column::Address, false},
          {"type_id", Column::Integer, true},
          {"name", Column::Text, false},
          {"count", Column::Integer, false},
          {"severity", Column::Integer, false}},
         "INSERT INTO observances (time, source, target, sensor, type_id, name, count, severity) "
         "VALUES (?1, ?2, ?3, ?4, ?5, COALESCE(?6, ''), COALESCE(?7, 1), COALESCE(?8, 0))"},
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

bool ParseTime(const std::string& text, int64_t& seconds) {
    size_t used = 0;
    try {
        seconds = std::stoll(text, &used);
        if (used == text.size()) return true;
    } catch (const std::exception&) {
    }
    tm parts{};
    int n = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ%n", &parts.tm_year, &parts.tm_mon,
                    &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &n) != 6 ||
        static_cast<size_t>(n) != text.size() || parts.tm_mon < 1 || parts.tm_mon > 12 ||
        parts.tm_mday < 1 || parts.tm_mday > 31) {
        return false;
    }
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    seconds = timegm(&parts);
    return true;
}

// Binds one value; an empty text is NULL. Returns an error text or "".
std::string Bind(CStatement& statement, int index, const Column& column, const std::string& v) {
    if (v.empty()) {
        if (column.required) return std::string("missing ") + column.name;
        statement.BindNull(index);
        return "";
    }
    switch (column.type) {
        case Column::Text:
            statement.Bind(index, v);
            return "";
        case Column::Integer: {
            size_t used = 0;
            try {
                const long long number = std::stoll(v, &used);
                if (used == v.size()) {
                    statement.Bind(index, static_cast<int64_t>(number));
                    return "";
                }
            } catch (const std::exception&) {
            }
            return std::string(column.name) + " is not a number: " + v;
        }
        case Column::Address: {
            uint32_t address = 0;
            if (!ParseIpv4(v, address)) {
                return std::string(column.name) + " is not an IPv4 address: " + v;
            }
            statement.Bind(index, static_cast<int64_t>(address));
            return "";
        }
        case Column::Time: {
            int64_t seconds = 0;
            if (!ParseTime(v, seconds)) {
                return std::string(column.name) +
                       " is not a time (YYYY-MM-DDThh:mm:ssZ or seconds): " + v;
            }
            statement.Bind(index, seconds);
            return "";
        }
        case Column::Flag:
            if (v == "true" || v == "1") {
                statement.Bind(index, static_cast<int64_t>(1));
            } else if (v == "false" || v == "0") {
                statement.Bind(index, static_cast<int64_t>(0));
            } else {
                return std::string(column.name) + " is not true or false: " + v;
            }
            return "";
    }
    return "";
}

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

    CSqliteDb db(dbPath, false);
    CreateSchema(db);
    db.Exec("BEGIN IMMEDIATE");
    size_t rows = 0;
    size_t lineNumber = 0;
    auto fail = [&](const std::string& what) {
        db.Exec("ROLLBACK");
        throw CImportError(file + ":" + std::to_string(lineNumber) + ": " + what);
    };
    try {
        CStatement hosts(db.Handle(), "INSERT OR IGNORE INTO hosts (address) VALUES (?)");
        CStatement insert(db.Handle(), kind->sql);
        std::vector<std::string> header;
        std::string line;
        while (std::getline(in, line)) {
            ++lineNumber;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty()) continue;
            std::map<std::string, std::string> values;
            if (format == "csv") {
                std::vector<std::string> fields;
                if (!SplitCsv(line, fields)) fail("unterminated quote");
                if (header.empty()) {
                    header = fields;
                    for (const std::string& name : header) {
                        bool known = false;
                        for (const Column& c : kind->columns) known = known || name == c.name;
                        if (!known) fail("unknown column " + name);
                    }
                    continue;
                }
                if (fields.size() != header.size()) {
                    fail(std::to_string(fields.size()) + " values for " +
                         std::to_string(header.size()) + " columns");
                }
                for (size_t i = 0; i < fields.size(); ++i) values[header[i]] = fields[i];
            } else {
                nlohmann::json object;
                try {
                    object = nlohmann::json::parse(line);
                } catch (const nlohmann::json::exception& e) {
                    fail(std::string("not JSON: ") + e.what());
                }
                if (!object.is_object()) fail("not a JSON object");
                for (auto it = object.begin(); it != object.end(); ++it) {
                    bool known = false;
                    for (const Column& c : kind->columns) known = known || it.key() == c.name;
                    if (!known) fail("unknown field " + it.key());
                    if (it.value().is_string()) {
                        values[it.key()] = it.value().get<std::string>();
                    } else if (it.value().is_boolean()) {
                        values[it.key()] = it.value().get<bool>() ? "true" : "false";
                    } else if (it.value().is_number_integer()) {
                        values[it.key()] = std::to_string(it.value().get<int64_t>());
                    } else if (!it.value().is_null()) {
                        fail("field " + it.key() + " is not a text, integer or flag");
                    }
                }
            }
            for (size_t i = 0; i < kind->columns.size(); ++i) {
                const Column& column = kind->columns[i];
                const std::string value = values.count(column.name) ? values[column.name] : "";
                const std::string error = Bind(insert, static_cast<int>(i + 1), column, value);
                if (!error.empty()) fail(error);
                if (column.type == Column::Address && !value.empty() &&
                    std::string(kind->name) != "observances" &&
                    std::string(kind->name) != "hosts") {
                    uint32_t address = 0;
                    ParseIpv4(value, address);
                    hosts.Bind(1, static_cast<int64_t>(address));
                    hosts.Step();
                    hosts.Reset();
                }
            }
            try {
                insert.Step();
            } catch (const std::exception& e) {
                fail(e.what());
            }
            insert.Reset();
            ++rows;
        }
        if (format == "csv" && header.empty()) fail("no header line");
    } catch (const CImportError&) {
        throw;
    } catch (const std::exception& e) {
        fail(e.what());
    }
    db.Exec("COMMIT");
    return rows;
}

}  // namespace eqsrv
