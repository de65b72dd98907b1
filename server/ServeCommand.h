// The serve subcommand's options, on the command line and in the configuration file (INI, the
// [serve] section, a key per option without its dashes; flags on the command line win). Kept
// apart from main so that SIGHUP can read them again exactly as at start.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>

#include "AuthLimiter.h"
#include "HttpServer.h"

namespace eqsrv {

struct ServeSettings {
    std::string db;
    ServerOptions options;
    bool requireAuth = false;
    bool allowInsecureAuth = false;
    AuthLimits authLimits;
    int64_t authRefill = 10;  // seconds, into authLimits.refill once parsed
    size_t pool = 0;          // 0: as many as workers
    int drainTimeout = 10;    // seconds
    std::string adminListen;  // "" : no admin listener
};

// --config FILE on the program itself (before the subcommand).
void AddConfigOption(CLI::App& app);
CLI::App* AddServeCommand(CLI::App& app, ServeSettings& settings);

// What is wrong with the configuration file, naming the file and the key; "" when nothing is.
std::string ConfigFileProblem(const std::string& path);

// What the settings cannot be served with; "" when they can. Sets authLimits.refill.
std::string SettingsProblem(ServeSettings& settings);

// The command line read again, with the configuration file as it is now (for SIGHUP).
bool ReadServeSettings(int argc, const char* const* argv, ServeSettings& settings,
                       std::string& error);

}  // namespace eqsrv
