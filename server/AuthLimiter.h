// Refused logins limited per source address and per user name: a token bucket each, so that
// guessing passwords costs the guesser time and the server at most a few hashes per interval.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace eqsrv {

using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;

struct AuthLimits {
    uint32_t burst = 5;               // refusals in a row before the limit applies
    std::chrono::seconds refill{10};  // time for one refusal to be forgiven
    size_t maxEntries = 10000;        // buckets kept per kind (addresses, user names)
};

class CAuthLimiter {
public:
    explicit CAuthLimiter(AuthLimits limits, SteadyClock clock = std::chrono::steady_clock::now);

    // Seconds (rounded up, at least 1) until both buckets hold a token again; 0: they do now.
    int64_t Wait(const std::string& address, const std::string& user);
    // Takes a token from both buckets; returns a log line for each bucket this emptied.
    std::vector<std::string> Refuse(const std::string& address, const std::string& user);

private:
    using TimePoint = std::chrono::steady_clock::time_point;

    // One kind of bucket. A bucket is the time at which it will be full again (GCRA): holding
    // a point in time instead of a token count needs no refill step and stays exact.
    class CBuckets {
    public:
        explicit CBuckets(const AuthLimits& limits) : m_limits(limits) {}
        std::chrono::steady_clock::duration Wait(const std::string& key, TimePoint now);
        // Counts a refusal; returns the wait when this one emptied the bucket, else zero.
        std::chrono::steady_clock::duration Take(const std::string& key, TimePoint now);

    private:
        void MakeRoom(TimePoint now);

        const AuthLimits m_limits;
        std::mutex m_mutex;
        std::unordered_map<std::string, TimePoint> m_full;
    };

    int64_t Seconds(std::chrono::steady_clock::duration wait) const;

    const AuthLimits m_limits;
    const SteadyClock m_clock;
    CBuckets m_addresses{m_limits};
    CBuckets m_users{m_limits};
};

}  // namespace eqsrv
