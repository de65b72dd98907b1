#include "Options.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace eqquery {

namespace {

// "+hh:mm" or "-hh:mm" as seconds to subtract to get UTC.
bool ParseOffset(const std::string& zone, long& offset) {
    int zh = 0, zm = 0;
    char sign = 0;
    // NOLINTNEXTLINE(cert-err34-c): field widths bound the numbers
    if (std::sscanf(zone.c_str(), "%c%2d:%2d", &sign, &zh, &zm) != 3 ||
        (sign != '+' && sign != '-') || zone.size() != 6) {
        return false;
    }
    offset = (sign == '+' ? 1 : -1) * (zh * 3600L + zm * 60L);
    return true;
}

}  // namespace

bool ParseTime(const std::string& text, time_t now, time_t& result) {
    if (text == "now") {
        result = now;
        return true;
    }
    // A number and one unit letter. strtoll, not sscanf: a number too large for the type must
    // fail, and so must one that overflows once scaled to seconds.
    char* end = nullptr;
    errno = 0;
    const long long amount = std::strtoll(text.c_str(), &end, 10);
    if (end != text.c_str() && errno != ERANGE && end[0] != '\0' && end[1] == '\0' && amount >= 0) {
        const char unit = end[0];
        const long long scale = unit == 's'   ? 1
                                : unit == 'm' ? 60
                                : unit == 'h' ? 3600
                                : unit == 'd' ? 86400
                                : unit == 'w' ? 7 * 86400
                                              : 0;
        if (scale == 0 || amount > LLONG_MAX / scale) return false;
        result = now - static_cast<time_t>(amount * scale);
        return true;
    }
    tm parts{};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char rest[16] = {};
    int used = 0;
    // The sscanf calls here and in ParseOffset read fields of at most four digits, which cannot
    // overflow; their counts say how many fields the text held.
    // NOLINTNEXTLINE(cert-err34-c): field widths bound the numbers
    const int n = std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%15s", &year, &month, &day,
                              &hour, &minute, &second, rest);
    long offset = 0;
    // NOLINTNEXTLINE(cert-err34-c): field widths bound the numbers
    if (n == 3 && std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used) == 3 &&
        static_cast<size_t>(used) == text.size()) {
        // a date alone is its midnight, UTC
    } else if (n == 6 || n == 7) {
        const std::string zone = n == 7 ? rest : "";
        if (!zone.empty() && zone != "Z" && !ParseOffset(zone, offset)) return false;
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

}  // namespace eqquery
