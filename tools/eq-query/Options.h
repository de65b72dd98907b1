// What eq-query is asked to do, and the parsing of its time and list arguments.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace eqquery {

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
bool ParseTime(const std::string& text, time_t now, time_t& result);
// The time as the library takes it: UTC, whole seconds.
std::string XmlTime(time_t t);
// The non-empty items of a comma-separated list.
std::vector<std::string> Split(const std::string& text);

}  // namespace eqquery
