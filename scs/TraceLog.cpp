#include "TraceLog.h"

#include <mutex>

namespace zavscs {

void CTraceLog::Set(const asTraceLog* pLog) {
    std::unique_lock<std::shared_mutex> lock(m_mutex);
    m_pLog = pLog;
}

const asTraceLog* CTraceLog::Get() const {
    std::shared_lock<std::shared_mutex> lock(m_mutex);
    return m_pLog;
}

void CTraceLog::Write(uint32_t uLevel, const std::string& strMessage,
                      const char* pFunction) const noexcept {
    try {
        std::shared_lock<std::shared_mutex> lock(m_mutex);
        if (m_pLog != nullptr && m_pLog->trace != nullptr && (m_pLog->levelMask & uLevel) != 0) {
            m_pLog->trace(m_pLog->context, uLevel, strMessage.c_str(), pFunction);
        }
    } catch (...) {
        // A trace line is never worth failing the call it describes.
    }
}

}  // namespace zavscs
