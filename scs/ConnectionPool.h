// Idle libcurl easy handles kept with their open connection, so that the next post to the same
// server skips the TCP and TLS handshakes. A handle belongs to one post at a time: Take removes it
// from the pool, Give puts it back. Handles are keyed by destination, server and the transport
// options that shape a connection; libcurl's own connection cache stays inside each handle, as it
// cannot be shared between threads.
#ifndef ZAV_SCS_CONNECTION_POOL_H
#define ZAV_SCS_CONNECTION_POOL_H

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>

namespace zavscs {

struct SEasyDeleter {
    void operator()(CURL* p) const { curl_easy_cleanup(p); }
};
using EasyHandle = std::unique_ptr<CURL, SEasyDeleter>;

class CConnectionPool {
public:
    static constexpr size_t MAX_PER_KEY = 4;
    static constexpr size_t MAX_TOTAL = 64;

    struct SLease {
        EasyHandle handle;  // null when none was idle: the caller makes one
        uint64_t uEpoch = 0;
    };

    // generation: the transport's abort generation. A handle given back after it moved on is
    // closed, so no connection outlives a shutdown.
    explicit CConnectionPool(const std::atomic<uint64_t>& generation) : m_generation(generation) {}
    ~CConnectionPool() { Clear(); }
    CConnectionPool(const CConnectionPool&) = delete;
    CConnectionPool& operator=(const CConnectionPool&) = delete;

    SLease Take(const std::string& strKey);
    // Keeps the handle for uIdleSeconds, unless the pool was cleared or dropped since the Take or
    // the generation is no longer uGeneration.
    void Give(const std::string& strKey, int32_t iDestination, uint32_t uIdleSeconds, SLease lease,
              uint64_t uGeneration);
    // Closes the destination's idle handles; handles in use are closed when given back.
    void Drop(int32_t iDestination);
    void Clear();

private:
    using Clock = std::chrono::steady_clock;
    struct SIdle {
        std::string strKey;
        int32_t iDestination;
        Clock::time_point expiry;
        EasyHandle handle;
    };

    // Moves expired entries to closing; called with the lock held.
    void Expire(Clock::time_point now, std::list<SIdle>& closing);

    const std::atomic<uint64_t>& m_generation;
    std::mutex m_mutex;
    std::list<SIdle> m_idle;  // most recently given back first
    uint64_t m_uEpoch = 0;    // moves on at every drop, so handles in use are not kept
};

}  // namespace zavscs

#endif
