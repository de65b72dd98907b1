#include "UserCheck.h"

#include <openssl/crypto.h>

#include "StoreAdmin.h"

namespace eqsrv {

namespace {

// Stands in for the row of a user that does not exist, so that an unknown name costs the same
// hash as a wrong password and the time of an answer does not tell which names exist.
constexpr const char* kDummySalt = "eq-server:nobody";
constexpr size_t kDummyHashSize = 32;

}  // namespace

CUserCheck::CUserCheck(const std::string& db, AuthLimits limits, const SteadyClock& clock)
    : m_db(CAdminDb::Open(db, false)),
      m_cache(std::chrono::minutes(5), 10000, clock),
      m_limiter(limits, clock) {}

CUserCheck::~CUserCheck() = default;

AuthVerdict CUserCheck::operator()(const std::string& address, const std::string& name,
                                   const std::string& password) {
    std::string salt;
    std::string stored;
    int64_t iterations = 0;
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        known = m_db->GetUser(name, salt, iterations, stored);
    }
    if (!known) {
        salt = kDummySalt;
        stored.assign(kDummyHashSize, '\0');
        iterations = kPasswordIterations;
    }
    // The row is read on every request, so the entry of an old password stops matching as soon
    // as the password changes.
    const std::string key = m_cache.Key(name, password, salt, stored);
    AuthVerdict verdict;
    // Credentials that passed before are never limited: a guesser cannot lock out the agent.
    if (known && m_cache.Contains(key)) return verdict;
    verdict.retryAfter = m_limiter.Wait(address, name);
    if (verdict.retryAfter > 0) {
        verdict.status = 429;
        return verdict;
    }
    const std::string hash = PasswordHash(password, salt, static_cast<int>(iterations));
    const bool match =
        hash.size() == stored.size() && CRYPTO_memcmp(hash.data(), stored.data(), hash.size()) == 0;
    if (known && match) {
        m_cache.Add(key);
        return verdict;
    }
    verdict.status = 401;
    verdict.log.push_back("bad credentials for user " + name);
    for (std::string& line : m_limiter.Refuse(address, name)) verdict.log.push_back(line);
    return verdict;
}

}  // namespace eqsrv
