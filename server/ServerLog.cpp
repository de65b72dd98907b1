#include "ServerLog.h"

#include <cstdio>
#include <ctime>
#include <iostream>

#include "AccessLog.h"

namespace eqsrv {

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '\\') {
            char hex[5];
            std::snprintf(hex, sizeof(hex), "\\x%02x", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

void Log(const std::string& agent, int status, const std::string& text) {
    static std::mutex mutex;
    const time_t now = time(nullptr);
    tm parts{};
    gmtime_r(&now, &parts);
    char stamp[32];
    std::strftime(stamp, sizeof(stamp), "%Y-%m-%dT%H:%M:%SZ", &parts);
    std::lock_guard<std::mutex> lock(mutex);
    // The agent id is the client's: quoted when it holds a space, so it cannot pose as a field.
    std::cerr << stamp << " agent=" << (agent.empty() ? "-" : LogfmtValue(agent))
              << " status=" << status << " " << Escaped(text) << std::endl;
}

CRefusalBursts::CRefusalBursts(std::vector<std::string> texts) : m_texts(std::move(texts)) {
    m_texts.resize(Kinds);
}

void CRefusalBursts::Refused(Kind kind) {
    const Clock::time_point now = Clock::now();
    std::lock_guard<std::mutex> lock(m_mutex);
    Burst& burst = m_bursts[kind];
    if (burst.count == 0 && now - burst.last > std::chrono::seconds(1)) {
        Log("", 503, "limit: refusing " + m_texts[kind]);
        burst.reported = now;
    }
    ++burst.count;
    burst.last = now;
}

void CRefusalBursts::Tick() {
    const Clock::time_point now = Clock::now();
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int kind = 0; kind < Kinds; ++kind) {
        const Burst& burst = m_bursts[kind];
        if (burst.count == 0) continue;
        if (now - burst.last >= std::chrono::seconds(1)) {
            Report(static_cast<Kind>(kind), now, "ended");
        } else if (now - burst.reported >= std::chrono::minutes(1)) {
            Report(static_cast<Kind>(kind), now, "going on");
        }
    }
}

void CRefusalBursts::Report(Kind kind, Clock::time_point now, const char* how) {
    Burst& burst = m_bursts[kind];
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(now - burst.reported).count();
    Log("", 503,
        "limit: refused " + std::to_string(burst.count) + " " + m_texts[kind] + " in " +
            std::to_string(seconds) + " s (" + how + ")");
    burst.count = 0;
    burst.reported = now;
}

}  // namespace eqsrv
