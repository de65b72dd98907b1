// eq-query: asks an Event Query Server for vulnerabilities or observances from a shell, through
// the library's exported C interface only, the way any host uses it.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "zavEventQuerySvcs.h"

namespace {

// The status the component reports when a server answered with an HTTP error (a refusal, a
// bad request, an unknown path). Retrying one server cannot help, so with a single server the
// query ends there; with several, the library goes on to the next one.
constexpr uint32_t kHttpStatusError = 0xC7590008u;

// ---- the library, opened at run time --------------------------------------------------------

// The library's functions this program uses, for the table and for looking them up.
#define EQ_QUERY_FUNCTIONS(EQ_FN)          \
    EQ_FN(EQ_Init)                         \
    EQ_FN(EQ_ShutDown)                     \
    EQ_FN(EQ_GetErrorMsg)                  \
    EQ_FN(EQ_RegisterErrorCallback)        \
    EQ_FN(EQ_RegisterResultSetCallbacks)   \
    EQ_FN(EQ_SetAuthentication)            \
    EQ_FN(EQ_SetVulnerabilityResultFilter) \
    EQ_FN(EQ_SetObservanceResultFilter)    \
    EQ_FN(EQ_QueryVulnsByAddress)          \
    EQ_FN(EQ_QueryVulnsByGroup)            \
    EQ_FN(EQ_QueryObservancesByAddress)    \
    EQ_FN(EQ_QueryObservancesByGroup)      \
    EQ_FN(EQ_SetMSLLibPath)

struct Library {
    void* handle = nullptr;
#define EQ_FN(name) decltype(&::name) name = nullptr;
    EQ_QUERY_FUNCTIONS(EQ_FN)
#undef EQ_FN
};

std::string ExecutableDir() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) return ".";
    path[n] = '\0';
    std::string text(path);
    return text.substr(0, text.rfind('/'));
}

bool IsFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Finds the library, the component and the message catalog: in the build tree when this is the
// build tree's eq-query, else beside the installed program. The catalog is opened when the
// library loads, so NLSPATH (only when the user has not set one) must be set before dlopen.
bool OpenLibrary(Library& lib, std::string& error) {
    const std::string here = ExecutableDir();
    std::string library = "libzavEventQuerySvcs5.so";
    std::string componentDir;
    if (here == EQ_QUERY_BUILD_DIR && IsFile(EQ_QUERY_BUILD_LIBRARY)) {
        library = EQ_QUERY_BUILD_LIBRARY;
        componentDir = EQ_QUERY_BUILD_COMPONENT_DIR;
        if (std::getenv("NLSPATH") == nullptr) {
            const std::string nls = std::string(EQ_QUERY_BUILD_NLS_DIR) + "/C/LC_MESSAGES/%N.cat";
            setenv("NLSPATH", nls.c_str(), 0);
        }
    } else if (IsFile(here + "/../" EQ_QUERY_INSTALL_LIBDIR "/libzavEventQuerySvcs5.so")) {
        library = here + "/../" EQ_QUERY_INSTALL_LIBDIR "/libzavEventQuerySvcs5.so";
    }
    lib.handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib.handle == nullptr) {
        error = dlerror();
        return false;
    }
    bool ok = true;
#define EQ_FN(name)                                                            \
    lib.name = reinterpret_cast<decltype(lib.name)>(dlsym(lib.handle, #name)); \
    if (lib.name == nullptr) {                                                 \
        error = std::string("missing ") + #name;                               \
        ok = false;                                                            \
    }
    EQ_QUERY_FUNCTIONS(EQ_FN)
#undef EQ_FN
    if (ok && !componentDir.empty()) lib.EQ_SetMSLLibPath(componentDir.c_str());
    return ok;
}

// ---- options ---------------------------------------------------------------------------------

struct Options {
    std::string kind;  // vulns | observances
    std::string address;
    std::string group;
    std::string from = "24h";
    std::string to = "now";
    bool fixed = false;
    uint32_t count = 0;
    std::string fields;
    std::string types;
    bool exclude = false;
    std::string analysis;
    std::vector<std::string> servers;
    std::string caFile;
    std::string settings;
    std::string comm;
    std::string user;
    std::string format;
    int timeout = 120;
    bool verbose = false;
};

// ISO 8601 (date, or date and time with Z or an offset) or relative to now: 90s, 30m, 24h, 7d,
// "now". Returns false for anything else.
bool ParseTime(const std::string& text, time_t now, time_t& result) {
    if (text == "now") {
        result = now;
        return true;
    }
    char unit = 0;
    long long amount = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%lld%c%n", &amount, &unit, &used) == 2 &&
        static_cast<size_t>(used) == text.size() && amount >= 0) {
        const long long scale = unit == 's'   ? 1
                                : unit == 'm' ? 60
                                : unit == 'h' ? 3600
                                : unit == 'd' ? 86400
                                : unit == 'w' ? 7 * 86400
                                              : 0;
        if (scale == 0) return false;
        result = now - static_cast<time_t>(amount * scale);
        return true;
    }
    tm parts{};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char rest[16] = {};
    const int n = std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%15s", &year, &month, &day,
                              &hour, &minute, &second, rest);
    long offset = 0;
    if (n == 3 && std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used) == 3 &&
        static_cast<size_t>(used) == text.size()) {
        // a date alone is its midnight, UTC
    } else if (n == 6 || n == 7) {
        const std::string zone = n == 7 ? rest : "";
        int zh = 0, zm = 0;
        char sign = 0;
        if (zone.empty() || zone == "Z") {
        } else if (std::sscanf(zone.c_str(), "%c%2d:%2d", &sign, &zh, &zm) == 3 &&
                   (sign == '+' || sign == '-') && zone.size() == 6) {
            offset = (sign == '+' ? 1 : -1) * (zh * 3600L + zm * 60L);
        } else {
            return false;
        }
    } else {
        return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
        return false;
    }
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    result = timegm(&parts) - offset;
    return true;
}

std::string XmlTime(time_t t) {
    tm parts{};
    gmtime_r(&t, &parts);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (!item.empty()) items.push_back(item);
    }
    return items;
}

// ---- settings files in a private folder ------------------------------------------------------

class CPrivateSettings {
public:
    ~CPrivateSettings() {
        if (!m_local.empty()) unlink(m_local.c_str());
        if (!m_comm.empty()) unlink(m_comm.c_str());
        if (!m_dir.empty()) rmdir(m_dir.c_str());
    }
    bool Create(const Options& o, std::string& error) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/eq-query.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            error = "cannot create a private folder in " + pattern;
            return false;
        }
        m_dir = pattern;
        std::string local =
            "[event_query_services]\n"
            "retryInterval = 200\n"
            "retryCeiling = 1000\n"
            "maxServerRetry = 2\n"
            "retryServerLoop = false\n"
            "connectTimeout = 5000\n"
            "shutdownTimeout = 2000\n"
            "\n[agent]\n"
            "agent_id = " +
            AgentId() + "\n";
        std::string comm = "[servers]\n";
        for (const std::string& url : o.servers) comm += "url = " + url + "\n";
        if (!o.caFile.empty()) comm += "\n[transport]\nca_file = " + o.caFile + "\n";
        return Write(m_dir + "/local.ini", local, m_local, error) &&
               Write(m_dir + "/comm.ini", comm, m_comm, error);
    }
    const std::string& Local() const { return m_local; }
    const std::string& Comm() const { return m_comm; }

private:
    static std::string AgentId() {
        std::ifstream in("/proc/sys/kernel/random/uuid");
        std::string id;
        std::getline(in, id);
        return id.empty() ? "eq-query" : id;
    }
    static bool Write(const std::string& path, const std::string& text, std::string& kept,
                      std::string& error) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            error = "cannot write " + path;
            return false;
        }
        kept = path;
        const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        close(fd);
        if (!ok) error = "cannot write " + path;
        return ok;
    }

    std::string m_dir, m_local, m_comm;
};

// ---- output ----------------------------------------------------------------------------------

using Item = std::pair<std::string, std::vector<std::pair<std::string, std::string>>>;

class COutput {
public:
    COutput(std::string format, std::vector<std::string> fields)
        : m_format(std::move(format)), m_fields(std::move(fields)) {}

    void Row(const Item& item) {
        if (m_format == "jsonl" || m_format == "json") {
            nlohmann::ordered_json row;
            row["result-id"] = item.first;
            for (const auto& [name, value] : item.second) row[name] = value;
            const std::string text =
                row.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
            if (m_format == "jsonl") {
                std::cout << text << '\n';
            } else {
                std::cout << (m_uRows == 0 ? "[\n  " : ",\n  ") << text;
            }
        } else if (m_format == "csv") {
            if (m_uRows == 0) {
                Columns(item);
                PrintCsv(m_columns);
            }
            PrintCsv(Values(item));
        } else {
            if (m_uRows == 0) Columns(item);
            m_table.push_back(Values(item));
        }
        ++m_uRows;
    }

    void Finish() {
        if (m_format == "json") std::cout << (m_uRows == 0 ? "[]\n" : "\n]\n");
        if (m_format == "table") PrintTable();
        std::cout.flush();
    }

    size_t Rows() const { return m_uRows; }

private:
    void Columns(const Item& item) {
        m_columns = {"result-id"};
        if (!m_fields.empty()) {
            m_columns.insert(m_columns.end(), m_fields.begin(), m_fields.end());
        } else {
            for (const auto& pair : item.second) m_columns.push_back(pair.first);
        }
    }
    std::vector<std::string> Values(const Item& item) const {
        std::vector<std::string> values;
        for (const std::string& column : m_columns) {
            std::string value;
            if (column == "result-id") value = item.first;
            for (const auto& [name, v] : item.second) {
                if (name == column) {
                    value = v;
                    break;
                }
            }
            values.push_back(value);
        }
        return values;
    }
    static void PrintCsv(const std::vector<std::string>& values) {
        for (size_t i = 0; i < values.size(); ++i) {
            const std::string& v = values[i];
            if (i > 0) std::cout << ',';
            if (v.find_first_of(",\"\r\n") == std::string::npos) {
                std::cout << v;
                continue;
            }
            std::cout << '"';
            for (char c : v) std::cout << (c == '"' ? "\"\"" : std::string(1, c));
            std::cout << '"';
        }
        std::cout << "\r\n";
    }
    void PrintTable() const {
        if (m_table.empty()) {
            std::cout << "(no results)\n";
            return;
        }
        std::vector<size_t> widths;
        for (const auto& c : m_columns) widths.push_back(c.size());
        for (const auto& row : m_table) {
            for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
        }
        auto line = [&](const std::vector<std::string>& values) {
            std::string text;
            for (size_t i = 0; i < values.size(); ++i) {
                text += values[i];
                if (i + 1 < values.size())
                    text += std::string(widths[i] - values[i].size() + 2, ' ');
            }
            std::cout << text << '\n';
        };
        line(m_columns);
        std::vector<std::string> rule;
        for (size_t w : widths) rule.push_back(std::string(w, '-'));
        line(rule);
        for (const auto& row : m_table) line(row);
        std::cout << "(" << m_table.size() << (m_table.size() == 1 ? " row)\n" : " rows)\n");
    }

    std::string m_format;
    std::vector<std::string> m_fields;
    std::vector<std::string> m_columns;
    std::vector<std::vector<std::string>> m_table;
    size_t m_uRows = 0;
};

// ---- the query, with the callbacks' state ----------------------------------------------------

struct Session {
    Library* lib = nullptr;
    COutput* output = nullptr;
    bool verbose = false;
    bool progress = false;
    bool httpErrorIsFinal = false;
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool failed = false;
    Item current;
};
Session g_session;

void Finish(bool failed) {
    std::lock_guard<std::mutex> lock(g_session.mutex);
    if (g_session.finished) return;
    g_session.finished = true;
    g_session.failed = failed;
    g_session.done.notify_all();
}

std::string StatusText(uint32_t status) {
    char text[1024] = {};
    g_session.lib->EQ_GetErrorMsg(status, text, sizeof(text));
    if (text[0] == '\0') std::snprintf(text, sizeof(text), "status 0x%08X", status);
    return text;
}

int32_t OnTrace(uint32_t, uint32_t level, const char* message, const char* function) {
    std::fprintf(stderr, "eq-query: trace %u %s: %s\n", level, function != nullptr ? function : "",
                 message != nullptr ? message : "");
    return 0;
}

int32_t OnError(uint32_t status, int32_t) {
    const bool final = status == EQ_I_RETRIES_EXHAUSTED || status == EQ_E_REQUEST_DROPPED ||
                       status == EQ_E_BAD_RESPONSE || status == EQ_E_RESPONSE_TOO_LARGE ||
                       (status == kHttpStatusError && g_session.httpErrorIsFinal);
    // Busy servers and failed attempts are retried by the library: only worth a line in
    // verbose mode.
    if (final || g_session.verbose) {
        std::fprintf(stderr, "eq-query: %s\n", StatusText(status).c_str());
    }
    if (final) Finish(true);
    return 0;
}

int32_t OnBeginResult(uint32_t, const char* resultId) {
    g_session.current = {resultId != nullptr ? resultId : "", {}};
    return 0;
}

int32_t OnResultData(uint32_t, const char*, const char* name, const char* value) {
    g_session.current.second.emplace_back(name != nullptr ? name : "",
                                          value != nullptr ? value : "");
    return 0;
}

int32_t OnEndResult(uint32_t, const char*) {
    g_session.output->Row(g_session.current);
    const size_t rows = g_session.output->Rows();
    if (g_session.progress && rows % 1000 == 0) std::fprintf(stderr, "\r%zu items", rows);
    return 0;
}

int32_t OnEndResultSet(uint32_t) {
    if (g_session.progress && g_session.output->Rows() >= 1000) std::fprintf(stderr, "\n");
    Finish(false);
    return 0;
}

std::string ReadPassword() {
    if (const char* env = std::getenv("EQ_QUERY_PASSWORD")) return env;
    std::string password;
    const int tty = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0) return password;
    termios saved{};
    const bool quiet = tcgetattr(tty, &saved) == 0;
    if (quiet) {
        termios off = saved;
        off.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(tty, TCSANOW, &off);
    }
    const char prompt[] = "Password: ";
    (void)!write(tty, prompt, sizeof(prompt) - 1);
    char c = 0;
    while (read(tty, &c, 1) == 1 && c != '\n') password += c;
    if (quiet) tcsetattr(tty, TCSANOW, &saved);
    (void)!write(tty, "\n", 1);
    close(tty);
    return password;
}

int Usage(const std::string& text) {
    std::cerr << "eq-query: " << text << "\n";
    return 2;
}

int Run(const Options& o) {
    // Checks that need no library first: a usage error must not depend on the environment.
    const time_t now = time(nullptr);
    time_t from = 0, to = 0;
    if (!ParseTime(o.from, now, from)) return Usage("bad --from time: " + o.from);
    if (!ParseTime(o.to, now, to)) return Usage("bad --to time: " + o.to);
    if (from > to) return Usage("--from is after --to");
    const bool vulns = o.kind == "vulns";
    if (vulns && (!o.types.empty() || o.exclude || !o.analysis.empty())) {
        return Usage("--types, --exclude and --analysis apply to observances");
    }
    if (!vulns && o.fixed) return Usage("--fixed applies to vulns");
    if (o.exclude && o.types.empty()) return Usage("--exclude needs --types");
    int32_t flags = 0;
    for (const std::string& a : Split(o.analysis)) {
        if (a == "source") {
            flags |= EQ_ANALYSIS_SOURCE;
        } else if (a == "target") {
            flags |= EQ_ANALYSIS_TARGET;
        } else if (a == "sensor") {
            flags |= EQ_ANALYSIS_SENSOR;
        } else {
            return Usage("unknown analysis " + a + " (source, target, sensor)");
        }
    }
    if (o.count > 0x7FFFFFFFu) return Usage("--count is too large");
    if (o.servers.empty() && (o.settings.empty() || o.comm.empty())) {
        return Usage("give --server URL, or --settings and --comm");
    }
    if (!o.servers.empty() && (!o.settings.empty() || !o.comm.empty())) {
        return Usage("--server and --settings/--comm exclude each other");
    }
    const std::string format = !o.format.empty()       ? o.format
                               : isatty(STDOUT_FILENO) ? "table"
                                                       : "jsonl";

    CPrivateSettings privateSettings;
    std::string error;
    std::string local = o.settings, comm = o.comm;
    if (!o.servers.empty()) {
        if (!privateSettings.Create(o, error)) {
            std::cerr << "eq-query: " << error << "\n";
            return 1;
        }
        local = privateSettings.Local();
        comm = privateSettings.Comm();
    }
    std::string password;
    if (!o.user.empty()) password = ReadPassword();

    static Library lib;
    if (!OpenLibrary(lib, error)) {
        std::cerr << "eq-query: cannot load libzavEventQuerySvcs5.so: " << error << "\n";
        return 1;
    }
    COutput output(format, Split(o.fields));
    g_session.lib = &lib;
    g_session.output = &output;
    g_session.verbose = o.verbose;
    g_session.httpErrorIsFinal = o.servers.size() == 1;
    g_session.progress = isatty(STDERR_FILENO) != 0;

    static asTraceLog traceLog = {0, 0, OnTrace};
    if (o.verbose) traceLog.levelMask = EQ_TRACE_ERROR | EQ_TRACE_WARNING | EQ_TRACE_DEBUG;
    uint32_t status = lib.EQ_Init("5.0", local.c_str(), comm.c_str(), "eq-query", nullptr,
                                  "eq-query", "urn:zav:eq-query", &traceLog);
    if (status != EQ_S_OK) {
        std::cerr << "eq-query: cannot start the library: " << StatusText(status) << "\n";
        return 1;
    }
    lib.EQ_RegisterErrorCallback(OnError);
    lib.EQ_RegisterResultSetCallbacks(nullptr, OnBeginResult, OnResultData, OnEndResult,
                                      OnEndResultSet);
    if (!o.user.empty()) lib.EQ_SetAuthentication(o.user.c_str(), password.c_str());
    const char* filter = o.fields.empty() ? nullptr : o.fields.c_str();
    if (vulns) {
        lib.EQ_SetVulnerabilityResultFilter(filter);
    } else {
        lib.EQ_SetObservanceResultFilter(filter);
    }
    const std::string start = XmlTime(from), end = XmlTime(to);
    const bool byGroup = !o.group.empty();
    const char* target = byGroup ? o.group.c_str() : o.address.c_str();
    const char* types = o.types.empty() ? nullptr : o.types.c_str();
    const int32_t count = static_cast<int32_t>(o.count);
    if (vulns) {
        status =
            byGroup
                ? lib.EQ_QueryVulnsByGroup(start.c_str(), end.c_str(), target, o.fixed, count, 1)
                : lib.EQ_QueryVulnsByAddress(start.c_str(), end.c_str(), target, o.fixed, count, 1);
    } else {
        status = byGroup ? lib.EQ_QueryObservancesByGroup(start.c_str(), end.c_str(), target, flags,
                                                          types, o.exclude, o.count, 1)
                         : lib.EQ_QueryObservancesByAddress(start.c_str(), end.c_str(), target,
                                                            flags, types, o.exclude, o.count, 1);
    }
    int exitCode = 0;
    if (status == EQ_E_INVALID_ARG) {
        std::cerr << "eq-query: " << StatusText(status) << " (check --address, --group, --types)\n";
        exitCode = 2;
    } else if (status != EQ_S_OK) {
        std::cerr << "eq-query: " << StatusText(status) << "\n";
        exitCode = 1;
    } else {
        std::unique_lock<std::mutex> lock(g_session.mutex);
        if (!g_session.done.wait_for(lock, std::chrono::seconds(o.timeout),
                                     [] { return g_session.finished; })) {
            std::cerr << "eq-query: no answer within " << o.timeout << " s\n";
            exitCode = 1;
        } else if (g_session.failed) {
            exitCode = 1;
        }
    }
    lib.EQ_ShutDown();
    if (exitCode == 0) output.Finish();
    return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    CLI::App app{"eq-query: ask an Event Query Server for vulnerabilities or observances"};
    app.add_option("KIND", o.kind, "vulns or observances")
        ->required()
        ->check(CLI::IsMember({"vulns", "observances"}));
    auto* address =
        app.add_option("--address", o.address, "address or range, e.g. 10.0.1.0-10.0.1.255");
    auto* group = app.add_option("--group", o.group, "group id");
    address->excludes(group);
    app.add_option("--from", o.from, "start: ISO 8601 or relative (24h, 7d)")
        ->capture_default_str();
    app.add_option("--to", o.to, "end: ISO 8601, relative or now")->capture_default_str();
    app.add_flag("--fixed", o.fixed, "vulns: the fixed ones instead of the open ones");
    app.add_option("--count", o.count, "largest number of results (0: the server's maximum)");
    app.add_option("--fields", o.fields, "only these result fields, e.g. address,name");
    app.add_option("--types", o.types, "observances: only these type ids, e.g. 2,8");
    app.add_flag("--exclude", o.exclude, "observances: all types but --types");
    app.add_option("--analysis", o.analysis,
                   "observances: address columns to match: source,target,sensor");
    app.add_option("--server", o.servers, "server URL (repeatable; the first is the primary)");
    app.add_option("--ca-file", o.caFile, "CA certificates (PEM) that --server https:// trusts");
    app.add_option("--settings", o.settings, "the host's local property file");
    app.add_option("--comm", o.comm, "the host's comm settings file");
    app.add_option("--user", o.user, "user name (password: EQ_QUERY_PASSWORD or a prompt)");
    app.add_option("--format", o.format, "table, json, jsonl or csv (default: table on a terminal)")
        ->check(CLI::IsMember({"table", "json", "jsonl", "csv"}));
    app.add_option("--timeout", o.timeout, "seconds to wait for the answer")->capture_default_str();
    app.add_flag("--verbose", o.verbose, "show the library's trace lines and every retry");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return 2;
    }
    if (o.address.empty() == o.group.empty()) return Usage("give one of --address and --group");
    return Run(o);
}
