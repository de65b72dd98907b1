// eq-server's log on stderr: one line per event, client texts escaped, and refusals that come in
// bursts (an attack, a full server) summed up instead of one line each.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace eqsrv {

// Control characters and the backslash as \xNN, so that a client text cannot start a line.
std::string Escaped(const std::string& text);

// "TIME agent=AGENT status=STATUS TEXT"; agent "" is written as "-", others as logfmt values.
void Log(const std::string& agent, int status, const std::string& text);

// One log line when refusals of a kind start, then, once none came for a second (Tick), one with
// their count; a burst that goes on gets a count every minute.
class CRefusalBursts {
public:
    enum Kind { TotalConnections, AddressConnections, Busy, HeaderTimeout, BodyTimeout, Kinds };
    // texts[kind]: what is refused, e.g. "connections over --max-connections 1024".
    explicit CRefusalBursts(std::vector<std::string> texts);
    void Refused(Kind kind);
    // Ends the bursts that went quiet; call about once a second.
    void Tick();

private:
    using Clock = std::chrono::steady_clock;
    struct Burst {
        size_t count = 0;  // since the last line
        Clock::time_point last, reported;
    };
    void Report(Kind kind, Clock::time_point now, const char* how);

    std::mutex m_mutex;
    std::vector<std::string> m_texts;
    Burst m_bursts[Kinds];
};

}  // namespace eqsrv
