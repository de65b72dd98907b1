#include "TraceLog.h"

#include <mutex>

namespace zavscs {

std::string MaskUrlCredentials(const std::string& strText, bool bSingleUrl) {
    std::string strMasked;
    size_t uCopied = 0;  // strText before this is in strMasked already
    size_t uScheme = strText.find("://");
    while (uScheme != std::string::npos) {
        const size_t uStart = uScheme + 3;
        const size_t uEnd =
            bSingleUrl ? std::string::npos : strText.find_first_of(" \t\r\n\"<>", uStart);
        const size_t uAt = strText.rfind('@', uEnd == std::string::npos ? uEnd : uEnd - 1);
        if (uAt != std::string::npos && uAt >= uStart) {
            const size_t uColon = strText.find(':', uStart);
            strMasked.append(strText, uCopied, uStart - uCopied);
            if (uColon < uAt) {
                strMasked.append(strText, uStart, uColon - uStart).append(":");
            }
            strMasked.append("***");
            uCopied = uAt;
            uScheme = uAt;
        }
        uScheme = strText.find("://", uScheme + 1);
    }
    return strMasked.append(strText, uCopied, std::string::npos);
}

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
            const std::string strMasked = MaskUrlCredentials(strMessage);
            m_pLog->trace(m_pLog->context, uLevel, strMasked.c_str(), pFunction);
        }
    } catch (...) {
        // A trace line is never worth failing the call it describes.
    }
}

}  // namespace zavscs
