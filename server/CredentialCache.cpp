#include "CredentialCache.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <stdexcept>

namespace eqsrv {

namespace {

// Each field with its length in front, so that no two different tuples give the same text.
void Append(std::string& message, const std::string& field) {
    const uint64_t size = field.size();
    message.append(reinterpret_cast<const char*>(&size), sizeof(size));
    message += field;
}

}  // namespace

CCredentialCache::CCredentialCache(std::chrono::seconds lifetime, size_t maxEntries,
                                   SteadyClock clock)
    : m_lifetime(lifetime),
      m_maxEntries(maxEntries == 0 ? 1 : maxEntries),
      m_clock(std::move(clock)) {
    if (RAND_bytes(m_secret, sizeof(m_secret)) != 1) {
        throw std::runtime_error("no random bytes for the credential cache");
    }
}

CCredentialCache::~CCredentialCache() { OPENSSL_cleanse(m_secret, sizeof(m_secret)); }

std::string CCredentialCache::Key(const std::string& user, const std::string& password,
                                  const std::string& salt, const std::string& hash) const {
    std::string message;
    message.reserve(32 + user.size() + password.size() + salt.size() + hash.size());
    Append(message, user);
    Append(message, password);
    Append(message, salt);
    Append(message, hash);
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    const bool made = HMAC(EVP_sha256(), m_secret, sizeof(m_secret),
                           reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                           mac, &size) != nullptr;
    OPENSSL_cleanse(message.data(), message.size());  // it held the password
    if (!made) throw std::runtime_error("HMAC failed");
    return std::string(reinterpret_cast<const char*>(mac), size);
}

bool CCredentialCache::Contains(const std::string& key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    DropExpired(m_clock());
    return m_entries.count(key) != 0;
}

void CCredentialCache::Add(const std::string& key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const TimePoint now = m_clock();
    DropExpired(now);
    if (const auto found = m_entries.find(key); found != m_entries.end()) {
        m_order.erase(found->second);
        m_entries.erase(found);
    }
    if (m_entries.size() >= m_maxEntries) {
        m_entries.erase(m_order.front().key);
        m_order.pop_front();
    }
    m_order.push_back({key, now + m_lifetime});
    m_entries.emplace(key, std::prev(m_order.end()));
}

void CCredentialCache::DropExpired(TimePoint now) {
    while (!m_order.empty() && m_order.front().expires <= now) {
        m_entries.erase(m_order.front().key);
        m_order.pop_front();
    }
}

}  // namespace eqsrv
