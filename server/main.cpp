// eq-server: a reference Event Query Server on an SQLite file or a PostgreSQL database (DB is a
// file name or a postgresql:// URL).
//   eq-server serve [--config FILE] --db DB [--port N] [--host ADDR] [--pool N] ...
//                   [--max-connections N] [--max-connections-per-address N]
//                   [--header-timeout S] [--body-timeout S] [--keep-alive-timeout S]
//                   [--require-auth [--auth-burst N] [--auth-refill SECONDS]]
//                   [--cert PEM --key PEM | --allow-insecure-auth]
//                   [--access-log FILE|-] [--drain-timeout S] [--admin-listen ADDR:PORT]
//   (port 0: any free port; FILE's [serve] section holds the same options, flags win)
//   eq-server migrate --db DB
//   eq-server demo-db DB [--end TIME]
//   eq-server user add NAME --db DB   (password from EQ_SERVER_PASSWORD or standard input)
//   eq-server import KIND FILE --db DB [--format csv|jsonl]
#include <signal.h>
#include <sys/resource.h>
#include <systemd/sd-daemon.h>
#include <termios.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "AdminServer.h"
#include "HttpServer.h"
#include "Import.h"
#include "PgStore.h"
#include "ServeCommand.h"
#include "ServerLog.h"
#include "SqliteStore.h"
#include "StoreAdmin.h"
#include "UserCheck.h"

namespace {

using namespace eqsrv;

std::unique_ptr<CEventStore> OpenStore(const std::string& db, size_t pool) {
    if (IsPostgresUrl(db)) return std::make_unique<CPgStore>(db, pool);
    return std::make_unique<CSqliteStore>(db);
}

// Every connection is a descriptor, and the usual soft limit (1024) is below the default
// --max-connections plus the store's files: take what the hard limit allows.
void RaiseDescriptorLimit(size_t connections) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    const rlim_t wanted = static_cast<rlim_t>(connections) + 256;
    if (limit.rlim_cur >= wanted) return;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
    setrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < wanted) {
        std::cerr << "eq-server: warning: at most " << limit.rlim_cur
                  << " open files allowed (ulimit -n), fewer than --max-connections needs\n";
    }
}

using Reread = std::function<bool(ServeSettings&, std::string&)>;

// SIGHUP: the certificate and key, and the access log, from the command line and configuration
// file as they are now; the rest needs a restart (it is bound, sized or shared at start).
void Reload(CHttpServer& server, const ServeSettings& running, const Reread& reread) {
    ServeSettings fresh;
    std::string error;
    if (!reread(fresh, error)) {
        Log("", 500, "reload refused, nothing changed: " + error);
        return;
    }
    const ServerOptions& now = fresh.options;
    if (!now.certFile.empty() || !running.options.certFile.empty()) {
        if (server.ReloadTls(now.certFile, now.keyFile, error)) {
            Log("", 200, "reload: certificate " + now.certFile + " and key " + now.keyFile);
        } else {
            Log("", 500, "reload: new certificate refused, the old one stays: " + error);
        }
    }
    if (server.ReloadAccessLog(now.accessLog, error)) {
        if (!now.accessLog.empty()) Log("", 200, "reload: access log " + now.accessLog);
    } else {
        Log("", 500, "reload: access log refused, the old one stays: " + error);
    }
}

int Serve(ServeSettings settings, const Reread& reread) {
    ServerOptions options = settings.options;
    const size_t pool = settings.pool > 0 ? settings.pool : options.workers;
    const std::unique_ptr<CEventStore> storage = OpenStore(settings.db, pool);
    CEventStore& store = *storage;
    std::unique_ptr<CUserCheck> users;
    if (settings.requireAuth) {
        users = std::make_unique<CUserCheck>(settings.db, settings.authLimits);
        options.authenticate = [&users](const std::string& address, const std::string& name,
                                        const std::string& password) {
            return (*users)(address, name, password);
        };
    }
    const bool https = !options.certFile.empty();
    const std::string host = options.host;
    // Signals are taken by one thread with sigwait, so they never interrupt a worker.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    // Whoever reads standard output (the URL, an access log on -) may go away: a write to it
    // must fail, not end the server.
    signal(SIGPIPE, SIG_IGN);

    RaiseDescriptorLimit(options.maxConnections);
    CHttpServer server(std::move(options), store);
    const int port = server.Bind();
    std::unique_ptr<CAdminServer> admin;
    if (!settings.adminListen.empty()) {
        admin = std::make_unique<CAdminServer>(settings.adminListen, store,
                                               [&server] { return server.Metrics(); });
    }
    // An IPv6 address is written in brackets in a URL.
    const bool v6 = host.find(':') != std::string::npos;
    std::cout << (https ? "https://" : "http://") << (v6 ? "[" + host + "]" : host) << ":" << port
              << std::endl;
    if (admin) {
        const std::string& listen = settings.adminListen;
        Log("", 200,
            "admin listener on http://" + listen.substr(0, listen.rfind(':')) + ":" +
                std::to_string(admin->Port()));
    }
    // Under systemd (Type=notify): ready now that it listens; and alive, while it runs, at half
    // the watchdog's interval. Outside systemd both do nothing.
    sd_notify(0, "READY=1");
    uint64_t watchdogUsec = 0;
    const bool watchdog = sd_watchdog_enabled(0, &watchdogUsec) > 0;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    // SIGHUP reloads; SIGTERM or SIGINT drains and stops (Drain also works before Run).
    std::thread watcher([&] {
        for (;;) {
            int signal = 0;
            sigwait(&signals, &signal);
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (done) return;
            }
            if (signal != SIGHUP) break;
            sd_notify(0, "RELOADING=1");
            Reload(server, settings, reread);
            sd_notify(0, "READY=1");
        }
        sd_notify(0, "STOPPING=1");
        server.Drain(std::chrono::seconds(settings.drainTimeout));
    });
    std::thread pinger;
    if (watchdog) {
        pinger = std::thread([&] {
            std::unique_lock<std::mutex> lock(mutex);
            while (!done) {
                sd_notify(0, "WATCHDOG=1");
                finished.wait_for(lock, std::chrono::microseconds(watchdogUsec / 2));
            }
        });
    }
    server.Run();
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    finished.notify_all();
    // Run also ends without a signal (a failed listen): wake the watcher to let it go.
    // The signal is blocked in every thread and only taken by the watcher's sigwait: it wakes the
    // watcher, it does not end it.
    pthread_kill(watcher.native_handle(), SIGTERM);  // NOLINT(bugprone-bad-signal-to-kill-thread)
    watcher.join();
    if (pinger.joinable()) pinger.join();
    return 0;
}

std::string ReadPassword() {
    // `user add` runs on the main thread alone.
    // NOLINTNEXTLINE(concurrency-mt-unsafe)
    if (const char* env = std::getenv("EQ_SERVER_PASSWORD")) return env;
    termios saved{};
    const bool tty = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (tty) {
        std::cerr << "Password: " << std::flush;
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    std::string password;
    std::getline(std::cin, password);
    if (tty) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::cerr << std::endl;
    }
    return password;
}

}  // namespace

// What throws past the handlers below is a fault in the option set-up itself (a name given twice):
// ending the program there is right.
int main(int argc, char** argv) {  // NOLINT(bugprone-exception-escape)
    CLI::App app{
        "eq-server: a reference Event Query Server on an SQLite file or a PostgreSQL database"};
    const std::string dbHelp = "SQLite file or postgresql://... URL";
    app.require_subcommand(1);

    ServeSettings settings;
    std::string db;
    AddConfigOption(app);
    auto* serve = AddServeCommand(app, settings);

    std::string demoFile;
    std::string demoEnd;
    auto* demo =
        app.add_subcommand("demo-db", "write the demo data set into a new file or empty database");
    demo->add_option("DB", demoFile, "new SQLite file or an empty PostgreSQL database")->required();
    demo->add_option("--end", demoEnd, "end of the 30 days, seconds since the epoch (default now)");

    auto* migrate =
        app.add_subcommand("migrate", "create the schema or bring it up to this eq-server's");
    migrate->add_option("--db", db, dbHelp + " (an SQLite file is created when missing)")
        ->required();

    std::string userName;
    auto* user = app.add_subcommand("user", "manage the users of --require-auth");
    user->require_subcommand(1);
    auto* userAdd =
        user->add_subcommand("add", "set a user's password (EQ_SERVER_PASSWORD or stdin)");
    userAdd->add_option("NAME", userName)->required();
    userAdd->add_option("--db", db, dbHelp)->required();

    std::string importKind;
    std::string importFile;
    std::string importFormat;
    auto* import = app.add_subcommand(
        "import", "load rows from CSV (header line) or JSON Lines, all or nothing");
    import->add_option("KIND", importKind)
        ->required()
        ->check(
            CLI::IsMember({"hosts", "groups", "memberships", "vulnerabilities", "observances"}));
    import->add_option("FILE", importFile)->required()->check(CLI::ExistingFile);
    import->add_option("--db", db, dbHelp + " (an SQLite file is created when missing)")
        ->required();
    import->add_option("--format", importFormat, "csv or jsonl (default: from the file name)")
        ->check(CLI::IsMember({"csv", "jsonl"}));

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // A fault in the configuration file is told with the file and the key.
        const std::string config = app["--config"]->as<std::string>();
        const std::string problem = config.empty() ? "" : ConfigFileProblem(config);
        if (problem.empty()) {
            app.exit(e);
            return 2;
        }
        std::cerr << "eq-server: " << problem << "\n";
        return 2;
    }
    try {
        if (*serve) {
            const std::string problem = SettingsProblem(settings);
            if (!problem.empty()) {
                std::cerr << "eq-server: " << problem << "\n";
                return 2;
            }
            return Serve(settings, [argc, argv](ServeSettings& fresh, std::string& error) {
                return ReadServeSettings(argc, argv, fresh, error);
            });
        }
        if (*demo) {
            const int64_t end =
                demoEnd.empty() ? static_cast<int64_t>(time(nullptr)) : std::stoll(demoEnd);
            const DemoCounts counts = WriteDemoData(demoFile, end);
            std::cout << demoFile << ": " << counts.hosts << " hosts, " << counts.groups
                      << " groups, " << counts.vulnerabilities << " vulnerabilities, "
                      << counts.observances << " observances\n";
            return 0;
        }
        if (*migrate) {
            const int found = CAdminDb::Open(db, true)->Migrate();
            std::cout << "schema version " << kSchemaVersion;
            if (found == kSchemaVersion) {
                std::cout << " (unchanged)\n";
            } else {
                std::cout << " (was " << found << ")\n";
            }
            return 0;
        }
        if (*import) {
            const size_t rows = ImportFile(db, importKind, importFile, importFormat);
            std::cout << importFile << ": " << rows << " " << importKind << " loaded\n";
            return 0;
        }
        if (*userAdd) {
            const std::string password = ReadPassword();
            if (password.empty()) {
                std::cerr << "eq-server: empty password\n";
                return 2;
            }
            SetUserPassword(db, userName, password);
            return 0;
        }
    } catch (const std::exception& e) {
        std::cerr << "eq-server: " << e.what() << "\n";
        return 1;
    }
    return 2;
}
