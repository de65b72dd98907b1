// eq-server: a reference Event Query Server on an SQLite file or a PostgreSQL database (DB is a
// file name or a postgresql:// URL).
//   eq-server serve --db DB [--port N] [--host ADDR] [--pool N] ...   (port 0: any free port)
//                   [--max-connections N] [--max-connections-per-address N]
//                   [--header-timeout S] [--body-timeout S] [--keep-alive-timeout S]
//                   [--require-auth [--auth-burst N] [--auth-refill SECONDS]]
//                   [--cert PEM --key PEM | --allow-insecure-auth]
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
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "HttpServer.h"
#include "Import.h"
#include "PgStore.h"
#include "SqliteStore.h"
#include "StoreAdmin.h"
#include "TlsPolicy.h"
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

int Serve(const std::string& db, ServerOptions options, bool requireAuth,
          const AuthLimits& authLimits, size_t pool) {
    const std::unique_ptr<CEventStore> storage = OpenStore(db, pool > 0 ? pool : options.workers);
    CEventStore& store = *storage;
    std::unique_ptr<CUserCheck> users;
    if (requireAuth) {
        users = std::make_unique<CUserCheck>(db, authLimits);
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
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    RaiseDescriptorLimit(options.maxConnections);
    CHttpServer server(std::move(options), store);
    const int port = server.Bind();
    // An IPv6 address is written in brackets in a URL.
    const bool v6 = host.find(':') != std::string::npos;
    std::cout << (https ? "https://" : "http://") << (v6 ? "[" + host + "]" : host) << ":" << port
              << std::endl;
    // Under systemd (Type=notify): ready now that it listens; and alive, while it runs, at half
    // the watchdog's interval. Outside systemd both do nothing.
    sd_notify(0, "READY=1");
    uint64_t watchdogUsec = 0;
    const bool watchdog = sd_watchdog_enabled(0, &watchdogUsec) > 0;
    // A signal may come before the server has started listening, when stopping it does nothing
    // yet: the watcher asks again until Run has returned.
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread watcher([&] {
        int signal = 0;
        sigwait(&signals, &signal);
        std::unique_lock<std::mutex> lock(mutex);
        while (!done) {
            server.Stop();
            finished.wait_for(lock, std::chrono::milliseconds(100));
        }
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
    pthread_kill(watcher.native_handle(), SIGTERM);
    watcher.join();
    if (pinger.joinable()) pinger.join();
    return 0;
}

std::string ReadPassword() {
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

int main(int argc, char** argv) {
    CLI::App app{
        "eq-server: a reference Event Query Server on an SQLite file or a PostgreSQL database"};
    const std::string dbHelp = "SQLite file or postgresql://... URL";
    app.require_subcommand(1);

    std::string db;
    ServerOptions options;
    bool requireAuth = false;
    auto* serve = app.add_subcommand("serve", "answer event queries over HTTP(S)");
    size_t pool = 0;
    serve->add_option("--db", db, dbHelp)->required();
    serve->add_option("--port", options.port, "TCP port; 0 picks a free one")
        ->capture_default_str()
        ->check(CLI::Range(0, 65535));
    serve->add_option("--host", options.host, "address to bind")->capture_default_str();
    // Each worker is a thread with its own stack and, on PostgreSQL, a connection: far beyond
    // these bounds the process dies at start instead of saying why.
    serve->add_option("--workers", options.workers, "worker threads")
        ->capture_default_str()
        ->check(CLI::Range(1, 1024));
    serve->add_option("--queue", options.queue, "requests waiting for a worker before 503")
        ->capture_default_str()
        ->check(CLI::Range(0, 65536));
    serve->add_option("--max-body", options.maxBody, "largest request body in bytes (413 above)")
        ->capture_default_str()
        ->check(CLI::Range(1024, 1024 * 1024 * 1024));
    serve
        ->add_option("--max-items", options.limits.maxItems,
                     "largest number of items in one answer")
        ->capture_default_str();
    serve->add_option("--pool", pool, "PostgreSQL connections of this process (default: --workers)")
        ->check(CLI::Range(1, 1024));
    serve
        ->add_option("--keep-alive-timeout", options.keepAliveTimeout,
                     "seconds an idle kept-alive connection stays open")
        ->capture_default_str()
        ->check(CLI::Range(1, 3600));
    serve->add_option("--keep-alive-max", options.keepAliveMax, "requests per connection")
        ->capture_default_str()
        ->check(CLI::Range(1, 100000));
    serve
        ->add_option("--max-connections", options.maxConnections,
                     "open connections in all; more are closed at once")
        ->capture_default_str()
        ->check(CLI::Range(1, 1000000));
    serve
        ->add_option("--max-connections-per-address", options.maxConnectionsPerAddress,
                     "open connections from one client address; more are closed at once")
        ->capture_default_str()
        ->check(CLI::Range(1, 1000000));
    serve
        ->add_option("--header-timeout", options.headerTimeout,
                     "seconds for a request's head, from its first byte (and for the first "
                     "byte of a new connection)")
        ->capture_default_str()
        ->check(CLI::Range(1, 3600));
    serve
        ->add_option("--body-timeout", options.bodyTimeout,
                     "seconds for a request's whole body, and for each piece of an answer")
        ->capture_default_str()
        ->check(CLI::Range(1, 3600));
    serve->add_flag("--require-auth", requireAuth, "check auth-token/auth-hash against the users");
    bool allowInsecureAuth = false;
    serve->add_flag("--allow-insecure-auth", allowInsecureAuth,
                    "allow --require-auth over plain HTTP (passwords travel in clear)");
    AuthLimits authLimits;
    int64_t authRefill = authLimits.refill.count();
    serve
        ->add_option("--auth-burst", authLimits.burst,
                     "refused logins per address or user before 429")
        ->capture_default_str()
        ->check(CLI::Range(1, 100000));
    serve
        ->add_option("--auth-refill", authRefill,
                     "seconds after which one more refused login is allowed")
        ->capture_default_str()
        ->check(CLI::Range(1, 86400));
    serve->add_option("--cert", options.certFile, "certificate (PEM) for HTTPS");
    serve->add_option("--key", options.keyFile, "private key (PEM) for HTTPS");

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
        app.exit(e);
        return 2;
    }
    try {
        if (*serve) {
            if (options.certFile.empty() != options.keyFile.empty()) {
                std::cerr << "eq-server: --cert and --key go together\n";
                return 2;
            }
            if (requireAuth && options.certFile.empty() && !allowInsecureAuth) {
                std::cerr << "eq-server: --require-auth without --cert and --key would let "
                             "passwords travel in clear; give --cert and --key, or "
                             "--allow-insecure-auth where the network is trusted\n";
                return 2;
            }
            if (!options.keyFile.empty()) {
                const std::string problem = KeyFileProblem(options.keyFile);
                if (!problem.empty()) {
                    std::cerr << "eq-server: " << problem << "\n";
                    return 2;
                }
            }
            authLimits.refill = std::chrono::seconds(authRefill);
            return Serve(db, std::move(options), requireAuth, authLimits, pool);
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
