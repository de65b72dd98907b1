#include "ConnectionPool.h"

namespace zavscs {

// Handles are closed after the lock is released: closing a TLS connection writes to its socket.

void CConnectionPool::Expire(Clock::time_point now, std::list<SIdle>& closing) {
    for (auto it = m_idle.begin(); it != m_idle.end();) {
        const auto next = std::next(it);
        if (it->expiry <= now) {
            closing.splice(closing.end(), m_idle, it);
        }
        it = next;
    }
}

CConnectionPool::SLease CConnectionPool::Take(const std::string& strKey) {
    std::list<SIdle> closing;
    std::lock_guard<std::mutex> lock(m_mutex);
    Expire(Clock::now(), closing);
    SLease lease;
    lease.uEpoch = m_uEpoch;
    for (auto it = m_idle.begin(); it != m_idle.end(); ++it) {
        if (it->strKey == strKey) {
            lease.handle = std::move(it->handle);
            m_idle.erase(it);
            break;
        }
    }
    return lease;
}

void CConnectionPool::Give(const std::string& strKey, int32_t iDestination, uint32_t uIdleSeconds,
                           SLease lease, uint64_t uGeneration) {
    std::list<SIdle> closing;
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto now = Clock::now();
    Expire(now, closing);
    if (lease.uEpoch != m_uEpoch || uGeneration != m_generation.load()) {
        return;  // the lease's handle closes with it
    }
    m_idle.push_front(
        {strKey, iDestination, now + std::chrono::seconds(uIdleSeconds), std::move(lease.handle)});
    // Beyond the bounds the least recently used go.
    size_t uSameKey = 0;
    for (auto it = m_idle.begin(); it != m_idle.end();) {
        const auto next = std::next(it);
        if (it->strKey == strKey && ++uSameKey > MAX_PER_KEY) {
            closing.splice(closing.end(), m_idle, it);
        }
        it = next;
    }
    while (m_idle.size() > MAX_TOTAL) {
        closing.splice(closing.end(), m_idle, std::prev(m_idle.end()));
    }
}

void CConnectionPool::Drop(int32_t iDestination) {
    std::list<SIdle> closing;
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_uEpoch;
    for (auto it = m_idle.begin(); it != m_idle.end();) {
        const auto next = std::next(it);
        if (it->iDestination == iDestination) {
            closing.splice(closing.end(), m_idle, it);
        }
        it = next;
    }
}

void CConnectionPool::Clear() {
    std::list<SIdle> closing;
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_uEpoch;
    closing.swap(m_idle);
}

}  // namespace zavscs
