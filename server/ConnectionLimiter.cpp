#include "ConnectionLimiter.h"

namespace eqsrv {

CConnectionLimiter::CTicket::CTicket(std::shared_ptr<CConnectionLimiter> limiter,
                                     std::string address)
    : m_limiter(std::move(limiter)), m_address(std::move(address)) {}

CConnectionLimiter::CTicket::~CTicket() { m_limiter->Leave(m_address); }

CConnectionLimiter::Verdict CConnectionLimiter::Admit(const std::string& address,
                                                      std::unique_ptr<CTicket>& ticket) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_uOpen >= m_uTotal) return Verdict::OverTotal;
        size_t& count = m_perAddress[address];
        if (count >= m_uPerAddress) return Verdict::OverAddress;
        ++count;
        ++m_uOpen;
    }
    ticket = std::make_unique<CTicket>(shared_from_this(), address);
    return Verdict::Admitted;
}

size_t CConnectionLimiter::Open() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_uOpen;
}

void CConnectionLimiter::Leave(const std::string& address) {
    std::lock_guard<std::mutex> lock(m_mutex);
    --m_uOpen;
    const auto it = m_perAddress.find(address);
    if (it != m_perAddress.end() && --it->second == 0) m_perAddress.erase(it);
}

}  // namespace eqsrv
