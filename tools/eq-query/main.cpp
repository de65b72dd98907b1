// eq-query: asks an Event Query Server for vulnerabilities or observances from a shell, through
// the library's exported C interface only, the way any host uses it.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "FailureReason.h"
#include "Library.h"
#include "Options.h"
#include "Output.h"
#include "PrivateSettings.h"
#include "zavEventQuerySvcs.h"

namespace {

using namespace eqquery;

// The status the component reports when a server answered with an HTTP error (a refusal, a
// bad request, an unknown path). Retrying one server cannot help, so with a single server the
// query ends there; with several, the library goes on to the next one.
constexpr uint32_t kHttpStatusError = 0xC7590008u;

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
    std::string user;
    std::string lastError;  // the transport's last error line, to say why a query failed
};
// Default construction allocates nothing; std::pair's constructor is just not marked noexcept.
Session g_session;  // NOLINT(cert-err58-cpp): cannot throw, see above

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
    if (g_session.verbose) {
        std::fprintf(stderr, "eq-query: trace %u %s: %s\n", level,
                     function != nullptr ? function : "", message != nullptr ? message : "");
    }
    if ((level & EQ_TRACE_ERROR) != 0 && message != nullptr &&
        std::strncmp(message, "POST to ", 8) == 0) {
        std::lock_guard<std::mutex> lock(g_session.mutex);
        g_session.lastError = message;
    }
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
    if (final && !g_session.verbose) {
        std::string lastError;
        {
            std::lock_guard<std::mutex> lock(g_session.mutex);
            lastError = g_session.lastError;
        }
        const std::string reason = eqquery::FailureReason(lastError, g_session.user);
        if (!reason.empty()) std::fprintf(stderr, "eq-query: %s\n", reason.c_str());
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
    // Read before the library is loaded: no other thread can change the environment.
    if (const char* env = std::getenv("EQ_QUERY_PASSWORD")) {  // NOLINT(concurrency-mt-unsafe)
        return env;
    }
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
    g_session.user = o.user;
    g_session.httpErrorIsFinal = o.servers.size() == 1;
    g_session.progress = isatty(STDERR_FILENO) != 0;

    // Error lines always come in, so that a failure can be explained; they are shown with
    // --verbose.
    static asTraceLog traceLog = {0, EQ_TRACE_ERROR, OnTrace};
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

int Main(int argc, char** argv) {
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

}  // namespace

// A failure that no code path expects (memory, a CLI11 setup error) ends with a line and status
// 1, not with an abort.
int main(int argc, char** argv) {
    try {
        return Main(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "eq-query: %s\n", e.what());
        return 1;
    }
}
