// Credentials that passed the slow password hash recently, so that an agent sending the same
// ones on every request pays the hash once per lifetime of an entry. An entry is an HMAC under a
// key of this process only: nothing in memory is a password or a hash one could test guesses
// against offline. The stored salt and hash are part of it, so a changed password no longer
// matches the entries made with the old one.
#pragma once

#include <chrono>
#include <cstddef>
#include <list>
#include <mutex>
#include <string>
#include <unordered_map>

#include "AuthLimiter.h"

namespace eqsrv {

class CCredentialCache {
public:
    explicit CCredentialCache(std::chrono::seconds lifetime = std::chrono::minutes(5),
                              size_t maxEntries = 10000,
                              SteadyClock clock = std::chrono::steady_clock::now);
    ~CCredentialCache();
    CCredentialCache(const CCredentialCache&) = delete;
    CCredentialCache& operator=(const CCredentialCache&) = delete;

    // The entry for a user name, a password and the user's stored salt and hash.
    std::string Key(const std::string& user, const std::string& password, const std::string& salt,
                    const std::string& hash) const;
    bool Contains(const std::string& key);
    void Add(const std::string& key);

private:
    using TimePoint = std::chrono::steady_clock::time_point;
    struct Entry {
        std::string key;
        TimePoint expires;
    };

    void DropExpired(TimePoint now);

    const std::chrono::seconds m_lifetime;
    const size_t m_maxEntries;
    const SteadyClock m_clock;
    unsigned char m_secret[32];
    std::mutex m_mutex;
    // Oldest first; all entries live equally long, so that is also the order they expire in.
    std::list<Entry> m_order;
    std::unordered_map<std::string, std::list<Entry>::iterator> m_entries;
};

}  // namespace eqsrv
