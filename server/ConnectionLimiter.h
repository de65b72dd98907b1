// Open connections counted in total and per client address; one over either limit is closed as
// soon as it is accepted, before anything is read from it.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace eqsrv {

class CConnectionLimiter : public std::enable_shared_from_this<CConnectionLimiter> {
public:
    enum class Verdict { Admitted, OverTotal, OverAddress };
    // Held while the connection is open.
    class CTicket {
    public:
        CTicket(std::shared_ptr<CConnectionLimiter> limiter, std::string address);
        ~CTicket();
        CTicket(const CTicket&) = delete;
        CTicket& operator=(const CTicket&) = delete;

    private:
        std::shared_ptr<CConnectionLimiter> m_limiter;
        std::string m_address;
    };

    CConnectionLimiter(size_t total, size_t perAddress)
        : m_uTotal(total), m_uPerAddress(perAddress) {}
    // ticket is set when admitted.
    Verdict Admit(const std::string& address, std::unique_ptr<CTicket>& ticket);
    size_t Open();

private:
    void Leave(const std::string& address);

    const size_t m_uTotal, m_uPerAddress;
    std::mutex m_mutex;
    size_t m_uOpen = 0;
    std::map<std::string, size_t> m_perAddress;  // only addresses with open connections
};

}  // namespace eqsrv
