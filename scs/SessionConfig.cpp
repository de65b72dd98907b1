#include "SessionConfig.h"

#include <cstring>

#include "ScsStatus.h"

namespace zavscs {

bool CSessionConfig::HasLineBreak(const char* pText) {
    return pText != nullptr && std::strpbrk(pText, "\r\n") != nullptr;
}

CSessionConfig& CSessionConfig::Instance() {
    static CSessionConfig instance;
    return instance;
}

uint32_t CSessionConfig::Init(bool bServer, const char* pVersion, const char* pInit1,
                              const asTraceLog* pLog) {
    if (pVersion == nullptr || std::strncmp(pVersion, "5.", 2) != 0) {
        return SCS_E_INVALID_ARG;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_iClientInits == 0 && m_iServerInits == 0) {
        m_log.Set(pLog);
        m_strUserAgent = "libzavSessionConfigSvcs5";
        if (pInit1 != nullptr && *pInit1 != '\0' && !HasLineBreak(pInit1)) {
            m_strUserAgent += std::string(" ") + pInit1;
        }
    }
    ++(bServer ? m_iServerInits : m_iClientInits);
    return 0;
}

uint32_t CSessionConfig::ShutDown(bool bServer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    int32_t& iInits = bServer ? m_iServerInits : m_iClientInits;
    if (iInits == 0 || --iInits != 0) {
        return 0;
    }
    if (bServer) {
        m_listeners.Clear();
        m_serverCallbacks.Clear();
    } else {
        m_transport.AbortAll();
        m_destinations.Clear();
        m_clientCallbacks.Clear();
    }
    if (m_iClientInits == 0 && m_iServerInits == 0) {
        m_agentIds.Clear();
        m_log.Set(nullptr);  // waits for trace calls in progress
    }
    return 0;
}

uint32_t CSessionConfig::RegisterSettingsChanged(bool bServer, SCS_SettingsChangedCallback callback,
                                                 void* pContext) {
    if (callback == nullptr) {
        return SCS_E_INVALID_ARG;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if ((bServer ? m_iServerInits : m_iClientInits) == 0) {
        return SCS_E_NOT_INITIALIZED;
    }
    (bServer ? m_serverCallbacks : m_clientCallbacks).Register(callback, pContext);
    return 0;
}

uint32_t CSessionConfig::UnregisterSettingsChanged(bool bServer,
                                                   SCS_SettingsChangedCallback callback) {
    if (callback == nullptr) {
        return SCS_E_INVALID_ARG;
    }
    (bServer ? m_serverCallbacks : m_clientCallbacks).Unregister(callback);
    return 0;
}

void CSessionConfig::NotifyChanged(bool bServer, int32_t iId) {
    (bServer ? m_serverCallbacks : m_clientCallbacks).Notify(iId, m_log);
}

uint32_t CSessionConfig::FindDestination(int32_t iId, std::shared_ptr<CDestination>& pDestination) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_iClientInits == 0) {
        return SCS_E_NOT_INITIALIZED;
    }
    pDestination = m_destinations.Find(iId);
    return pDestination ? 0 : SCS_E_BAD_DESTINATION;
}

uint32_t CSessionConfig::FindLocal(bool bServer, int32_t iId,
                                   std::shared_ptr<CSnapshot<CLocalSettings>>& pLocal) {
    if (!bServer) {
        std::shared_ptr<CDestination> pDestination;
        const uint32_t uStatus = FindDestination(iId, pDestination);
        if (uStatus == 0) {
            pLocal = {pDestination, &pDestination->Local()};
        }
        return uStatus;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_iServerInits == 0) {
        return SCS_E_NOT_INITIALIZED;
    }
    const auto pListener = m_listeners.Find(iId);
    if (!pListener) {
        return SCS_E_BAD_LISTENER;
    }
    pLocal = {pListener, &pListener->Local()};
    return 0;
}

void CSessionConfig::WarnSkipped(const std::string& strFile, size_t uSkipped,
                                 const char* pFunction) const {
    if (uSkipped != 0) {
        m_log.Write(TRACE_WARNING,
                    strFile + ": " + std::to_string(uSkipped) +
                        (uSkipped == 1 ? " entry" : " entries") + " without a key ignored",
                    pFunction);
    }
}

uint32_t CSessionConfig::ReadLocal(const std::string& strFile,
                                   std::shared_ptr<const CLocalSettings>& pLocal,
                                   const char* pFunction) {
    auto pSettings = std::make_shared<CLocalSettings>();
    std::string strError;
    const uint32_t uStatus = pSettings->LoadFile(strFile, strError);
    if (uStatus != 0) {
        m_log.Write(TRACE_ERROR, "Cannot load local property file: " + strError, pFunction);
        return uStatus;
    }
    WarnSkipped(strFile, pSettings->SkippedEntries(), pFunction);
    pLocal = std::move(pSettings);
    return 0;
}

uint32_t CSessionConfig::ReadComm(const std::string& strFile,
                                  std::shared_ptr<const CCommSettings>& pComm,
                                  const char* pFunction) {
    auto pSettings = std::make_shared<CCommSettings>();
    std::string strError;
    const uint32_t uStatus = pSettings->LoadFile(strFile, strError);
    if (uStatus != 0) {
        m_log.Write(TRACE_ERROR, "Cannot load comm settings file: " + strError, pFunction);
        return uStatus;
    }
    WarnSkipped(strFile, pSettings->SkippedEntries(), pFunction);
    const std::string strPrefix = strFile + ": ";
    for (const std::string& strWarning : pSettings->Warnings()) {
        m_log.Write(TRACE_WARNING, strPrefix + strWarning, pFunction);
    }
    pComm = std::move(pSettings);
    return 0;
}

uint32_t CSessionConfig::GetAgentId(std::string& strAgentId) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_iClientInits == 0 && m_iServerInits == 0) {
            return SCS_E_NOT_INITIALIZED;
        }
    }
    return m_agentIds.Get(strAgentId);
}

uint32_t CSessionConfig::SetAgentId(const char* pAgentId, bool bLastGood) {
    if (pAgentId == nullptr) {
        return SCS_E_INVALID_ARG;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_iClientInits == 0 && m_iServerInits == 0) {
            return SCS_E_NOT_INITIALIZED;
        }
    }
    const uint32_t uStatus =
        bLastGood ? m_agentIds.SetLastGood(pAgentId) : m_agentIds.Set(pAgentId);
    if (uStatus == SCS_E_WRITE_FAILED) {
        m_log.Write(TRACE_ERROR, "Cannot write the agent id file", "CSessionConfig::SetAgentId()");
    }
    return uStatus;
}

uint32_t CSessionConfig::AddListenerFiles(const char* pLocalFile, const char* pSettingsFile,
                                          int32_t& iId) {
    if (pLocalFile == nullptr || pSettingsFile == nullptr) {
        return SCS_E_INVALID_ARG;
    }
    const char* const pFunction = "CSessionConfig::AddListenerFiles()";
    std::shared_ptr<const CLocalSettings> pLocal;
    std::shared_ptr<const CLocalSettings> pSettings;
    uint32_t uStatus = ReadLocal(pLocalFile, pLocal, pFunction);
    if (uStatus == 0) {
        uStatus = ReadLocal(pSettingsFile, pSettings, pFunction);
    }
    if (uStatus != 0) {
        return uStatus;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_iServerInits == 0) {
        return SCS_E_NOT_INITIALIZED;
    }
    iId = m_listeners.Add(std::make_shared<CListener>(pLocal, pSettings));
    m_agentIds.Configure(*pLocal, m_log);
    return 0;
}

uint32_t CSessionConfig::RemoveListener(int32_t iId) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_iServerInits == 0) {
        return SCS_E_NOT_INITIALIZED;
    }
    return m_listeners.Remove(iId) ? 0 : SCS_E_BAD_LISTENER;
}

void CSessionConfig::SetLibPath(const char* pPath) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_strLibPath = pPath != nullptr ? pPath : "";
}

void CSessionConfig::SetSigFileExtension(const char* pExtension) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_strSigFileExtension = pExtension != nullptr ? pExtension : "";
}

}  // namespace zavscs
