// The users of --require-auth: credentials checked against the stored PBKDF2 hashes, once per
// lifetime of a cache entry for an agent that keeps sending the same ones, with refused attempts
// limited per source address and per user name.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AuthLimiter.h"
#include "CredentialCache.h"

namespace eqsrv {

class CAdminDb;

struct AuthVerdict {
    int status = 200;              // 200 passed, 401 refused, 429 limited
    int64_t retryAfter = 0;        // seconds, with 429
    std::vector<std::string> log;  // lines for the server's own log only
};

class CUserCheck {
public:
    explicit CUserCheck(const std::string& db, AuthLimits limits = {},
                        const SteadyClock& clock = std::chrono::steady_clock::now);
    ~CUserCheck();
    CUserCheck(const CUserCheck&) = delete;
    CUserCheck& operator=(const CUserCheck&) = delete;

    // address: where the request came from. Throws when the store fails.
    AuthVerdict operator()(const std::string& address, const std::string& name,
                           const std::string& password);

private:
    std::mutex m_mutex;  // the connection
    std::unique_ptr<CAdminDb> m_db;
    CCredentialCache m_cache;
    CAuthLimiter m_limiter;
};

}  // namespace eqsrv
