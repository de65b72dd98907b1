#include "AuthLimiter.h"

#include <algorithm>

namespace eqsrv {

using Duration = std::chrono::steady_clock::duration;

namespace {

AuthLimits Checked(AuthLimits limits) {
    limits.burst = std::max<uint32_t>(limits.burst, 1);
    limits.refill = std::max(limits.refill, std::chrono::seconds(1));
    limits.maxEntries = std::max<size_t>(limits.maxEntries, 1);
    return limits;
}

}  // namespace

CAuthLimiter::CAuthLimiter(AuthLimits limits, SteadyClock clock)
    : m_limits(Checked(limits)), m_clock(std::move(clock)) {}

int64_t CAuthLimiter::Wait(const std::string& address, const std::string& user) {
    const TimePoint now = m_clock();
    return Seconds(std::max(m_addresses.Wait(address, now), m_users.Wait(user, now)));
}

std::vector<std::string> CAuthLimiter::Refuse(const std::string& address, const std::string& user) {
    const TimePoint now = m_clock();
    std::vector<std::string> lines;
    if (const Duration wait = m_addresses.Take(address, now); wait > Duration::zero()) {
        lines.push_back("auth: too many refused attempts from " + address + ", limited for " +
                        std::to_string(Seconds(wait)) + " s");
    }
    if (const Duration wait = m_users.Take(user, now); wait > Duration::zero()) {
        lines.push_back("auth: too many refused attempts for user " + user + ", limited for " +
                        std::to_string(Seconds(wait)) + " s");
    }
    return lines;
}

int64_t CAuthLimiter::Seconds(Duration wait) const {
    if (wait <= Duration::zero()) return 0;
    return std::max<int64_t>(1, std::chrono::ceil<std::chrono::seconds>(wait).count());
}

// The bucket is empty while it is more than burst - 1 refills away from full.
Duration CAuthLimiter::CBuckets::Wait(const std::string& key, TimePoint now) {
    const Duration slack = (m_limits.burst - 1) * Duration(m_limits.refill);
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_full.find(key);
    if (found == m_full.end()) return Duration::zero();
    return std::max(Duration::zero(), found->second - now - slack);
}

Duration CAuthLimiter::CBuckets::Take(const std::string& key, TimePoint now) {
    const Duration slack = (m_limits.burst - 1) * Duration(m_limits.refill);
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = m_full.find(key);
    if (found == m_full.end()) {
        MakeRoom(now);
        found = m_full.emplace(key, now).first;
    }
    const bool wasEmpty = found->second - now > slack;
    found->second = std::max(found->second, now) + m_limits.refill;
    const Duration wait = found->second - now - slack;
    // Only the refusal that empties the bucket reports it, not those that race in after it.
    return !wasEmpty && wait > Duration::zero() ? wait : Duration::zero();
}

// Full buckets hold nothing worth keeping; when none is full, the one nearest to full goes.
void CAuthLimiter::CBuckets::MakeRoom(TimePoint now) {
    if (m_full.size() < m_limits.maxEntries) return;
    for (auto it = m_full.begin(); it != m_full.end();) {
        it = it->second <= now ? m_full.erase(it) : std::next(it);
    }
    if (m_full.size() < m_limits.maxEntries) return;
    m_full.erase(std::min_element(m_full.begin(), m_full.end(), [](const auto& a, const auto& b) {
        return a.second < b.second;
    }));
}

}  // namespace eqsrv
