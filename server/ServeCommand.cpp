#include "ServeCommand.h"

#include "TlsPolicy.h"

namespace eqsrv {

void AddConfigOption(CLI::App& app) {
    app.set_config("--config", "",
                   "INI file whose [serve] section holds serve options (key = value, no dashes); "
                   "options on the command line win");
    // A misspelt key must not be ignored silently.
    app.allow_config_extras(false);
}

CLI::App* AddServeCommand(CLI::App& app, ServeSettings& s) {
    ServerOptions& options = s.options;
    auto* serve = app.add_subcommand("serve", "answer event queries over HTTP(S)");
    // --config is the program's, but reads naturally after serve as well.
    serve->fallthrough();
    serve->add_option("--db", s.db, "SQLite file or postgresql://... URL")->required();
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
    serve
        ->add_option("--pool", s.pool,
                     "PostgreSQL connections of this process (default: --workers)")
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
    serve->add_flag("--require-auth", s.requireAuth,
                    "check auth-token/auth-hash against the users");
    serve->add_flag("--allow-insecure-auth", s.allowInsecureAuth,
                    "allow --require-auth over plain HTTP (passwords travel in clear)");
    s.authRefill = s.authLimits.refill.count();
    serve
        ->add_option("--auth-burst", s.authLimits.burst,
                     "refused logins per address or user before 429")
        ->capture_default_str()
        ->check(CLI::Range(1, 100000));
    serve
        ->add_option("--auth-refill", s.authRefill,
                     "seconds after which one more refused login is allowed")
        ->capture_default_str()
        ->check(CLI::Range(1, 86400));
    serve->add_option("--cert", options.certFile, "certificate (PEM) for HTTPS; SIGHUP reloads");
    serve->add_option("--key", options.keyFile, "private key (PEM) for HTTPS; SIGHUP reloads");
    serve->add_option("--access-log", options.accessLog,
                      "one logfmt line per request to FILE, or - for standard output; SIGHUP "
                      "reopens");
    serve
        ->add_option("--drain-timeout", s.drainTimeout,
                     "seconds SIGTERM waits for answers under way before exiting")
        ->capture_default_str()
        ->check(CLI::Range(0, 3600));
    serve->add_option("--admin-listen", s.adminListen,
                      "ADDRESS:PORT for GET /healthz and /metrics (default: none)");
    return serve;
}

std::string ConfigFileProblem(const std::string& path) {
    std::vector<CLI::ConfigItem> items;
    try {
        items = CLI::ConfigINI().from_file(path);
    } catch (const CLI::ParseError& e) {
        return e.what();
    }
    for (const CLI::ConfigItem& item : items) {
        if (item.name == "--" || item.name == "++") continue;  // section markers
        const std::string key = item.fullname();
        std::string where = path;
        where.append(": ").append(key).append(": ");
        if (item.parents != std::vector<std::string>{"serve"}) {
            return where + "unknown key (serve options go in the [serve] section)";
        }
        // Each value on its own, against a fresh copy of the options: the message then names
        // the key it came from.
        ServeSettings scratch;
        CLI::App app;
        CLI::App* serve = AddServeCommand(app, scratch);
        if (item.name == "help" || serve->get_option_no_throw("--" + item.name) == nullptr) {
            return where + "unknown key";
        }
        if (item.inputs.size() != 1) {
            return where + "one value expected (put a value holding spaces in quotes)";
        }
        std::vector<std::string> args = {"--" + item.name + "=" + item.inputs.front()};
        if (item.name != "db") args.insert(args.end(), {"x", "--db"});
        args.push_back("serve");  // CLI11 takes the arguments last first
        try {
            app.parse(args);
        } catch (const CLI::ParseError& e) {
            return where + e.what();
        }
    }
    return "";
}

std::string SettingsProblem(ServeSettings& s) {
    const ServerOptions& options = s.options;
    if (options.certFile.empty() != options.keyFile.empty()) return "--cert and --key go together";
    if (s.requireAuth && options.certFile.empty() && !s.allowInsecureAuth) {
        return "--require-auth without --cert and --key would let passwords travel in clear; "
               "give --cert and --key, or --allow-insecure-auth where the network is trusted";
    }
    if (!options.keyFile.empty()) {
        std::string problem = KeyFileProblem(options.keyFile);
        if (!problem.empty()) return problem;
    }
    s.authLimits.refill = std::chrono::seconds(s.authRefill);
    return "";
}

bool ReadServeSettings(int argc, const char* const* argv, ServeSettings& settings,
                       std::string& error) {
    CLI::App app;
    AddConfigOption(app);
    AddServeCommand(app, settings);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const std::string config = app["--config"]->as<std::string>();
        error = config.empty() ? "" : ConfigFileProblem(config);
        if (error.empty()) error = e.what();
        return false;
    }
    error = SettingsProblem(settings);
    return error.empty();
}

}  // namespace eqsrv
