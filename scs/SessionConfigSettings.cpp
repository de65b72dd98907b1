// Destinations, their local and comm settings.
#include "ScsStatus.h"
#include "SessionConfig.h"

namespace zavscs {

uint32_t CSessionConfig::RetrieveLocalSettingsValue(bool bServer, int32_t iId, const char* pSection,
                                                    const char* pKey, std::string& strValue) {
    if (pSection == nullptr || pKey == nullptr) {
        return SCS_E_INVALID_ARG;
    }
    std::shared_ptr<CSnapshot<CLocalSettings>> pLocal;
    const uint32_t uStatus = FindLocal(bServer, iId, pLocal);
    if (uStatus != 0) {
        return uStatus;
    }
    const auto pSettings = pLocal->Get();
    const std::string* pValue = pSettings->Find(pSection, pKey);
    if (pValue == nullptr) {
        return SCS_E_KEY_NOT_FOUND;
    }
    strValue = *pValue;
    return 0;
}

uint32_t CSessionConfig::LoadLocalSettingsFile(bool bServer, int32_t iId, const char* pFile) {
    std::shared_ptr<CSnapshot<CLocalSettings>> pLocal;
    uint32_t uStatus = FindLocal(bServer, iId, pLocal);
    if (uStatus != 0) {
        return uStatus;
    }
    const std::string strFile = pFile != nullptr && *pFile != '\0' ? pFile : pLocal->Get()->File();
    std::shared_ptr<const CLocalSettings> pSettings;
    uStatus = ReadLocal(strFile, pSettings, "CSessionConfig::LoadLocalSettingsFile()");
    if (uStatus != 0) {
        return uStatus;
    }
    pLocal->Set(pSettings);
    m_agentIds.Configure(*pSettings, m_log);
    NotifyChanged(bServer, iId);
    return 0;
}

uint32_t CSessionConfig::AddDestinationFiles(const char* pLocalFile, const char* pCommFile,
                                             int32_t& iId) {
    if (pLocalFile == nullptr || pCommFile == nullptr) {
        return SCS_E_INVALID_ARG;
    }
    const char* const pFunction = "CSessionConfig::AddDestinationFiles()";
    std::shared_ptr<const CLocalSettings> pLocal;
    std::shared_ptr<const CCommSettings> pComm;
    uint32_t uStatus = ReadLocal(pLocalFile, pLocal, pFunction);
    if (uStatus == 0) {
        uStatus = ReadComm(pCommFile, pComm, pFunction);
    }
    if (uStatus != 0) {
        return uStatus;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_iClientInits == 0) {
            return SCS_E_NOT_INITIALIZED;
        }
        iId = m_destinations.Add(std::make_shared<CDestination>(pLocal, pComm));
        m_agentIds.Configure(*pLocal, m_log);
    }
    m_log.Write(TRACE_DEBUG,
                "Added destination " + std::to_string(iId) + " with " +
                    std::to_string(pComm->Servers().size()) + " server(s) from '" + pCommFile + "'",
                pFunction);
    return 0;
}

uint32_t CSessionConfig::RemoveDestination(int32_t iId) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_iClientInits == 0) {
        return SCS_E_NOT_INITIALIZED;
    }
    if (!m_destinations.Remove(iId)) {
        return SCS_E_BAD_DESTINATION;
    }
    m_transport.DropConnections(iId);
    return 0;
}

uint32_t CSessionConfig::RemoveDestinations() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_iClientInits == 0) {
        return SCS_E_NOT_INITIALIZED;
    }
    for (const int32_t iId : m_destinations.Ids()) {
        m_transport.DropConnections(iId);
    }
    m_destinations.Clear();
    return 0;
}

uint32_t CSessionConfig::GetDestinations(std::vector<int32_t>& ids) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_iClientInits == 0) {
        return SCS_E_NOT_INITIALIZED;
    }
    ids = m_destinations.Ids();
    return 0;
}

uint32_t CSessionConfig::GetServers(int32_t iId, std::vector<std::string>& servers) {
    std::shared_ptr<CDestination> pDestination;
    const uint32_t uStatus = FindDestination(iId, pDestination);
    if (uStatus == 0) {
        servers = pDestination->Comm().Get()->Servers();
    }
    return uStatus;
}

uint32_t CSessionConfig::AddServer(int32_t iId, const char* pUrl) {
    if (pUrl == nullptr) {
        return SCS_E_INVALID_ARG;
    }
    std::shared_ptr<CDestination> pDestination;
    uint32_t uStatus = FindDestination(iId, pDestination);
    if (uStatus == 0) {
        uStatus =
            pDestination->Comm().Update([&](CCommSettings& comm) { return comm.AddServer(pUrl); });
    }
    if (uStatus == 0) {
        m_transport.DropConnections(iId);
        NotifyChanged(false, iId);
    }
    return uStatus;
}

uint32_t CSessionConfig::DeleteServer(int32_t iId, uint32_t uIndex) {
    std::shared_ptr<CDestination> pDestination;
    uint32_t uStatus = FindDestination(iId, pDestination);
    if (uStatus == 0) {
        uStatus = pDestination->Comm().Update(
            [&](CCommSettings& comm) { return comm.DeleteServer(uIndex); });
    }
    if (uStatus == 0) {
        m_transport.DropConnections(iId);
        NotifyChanged(false, iId);
    }
    return uStatus;
}

uint32_t CSessionConfig::LoadCommSettingsFile(int32_t iId, const char* pFile) {
    std::shared_ptr<CDestination> pDestination;
    uint32_t uStatus = FindDestination(iId, pDestination);
    if (uStatus != 0) {
        return uStatus;
    }
    const std::string strFile =
        pFile != nullptr && *pFile != '\0' ? pFile : pDestination->Comm().Get()->File();
    std::shared_ptr<const CCommSettings> pComm;
    uStatus = ReadComm(strFile, pComm, "CSessionConfig::LoadCommSettingsFile()");
    if (uStatus != 0) {
        return uStatus;
    }
    pDestination->Comm().Set(pComm);
    // Connections made under the old server list or TLS settings are not reused.
    m_transport.DropConnections(iId);
    NotifyChanged(false, iId);
    return 0;
}

uint32_t CSessionConfig::SaveCommSettings(int32_t iId, const char* pFile) {
    std::shared_ptr<CDestination> pDestination;
    const uint32_t uStatus = FindDestination(iId, pDestination);
    if (uStatus != 0) {
        return uStatus;
    }
    const auto pComm = pDestination->Comm().Get();
    const std::string strFile = pFile != nullptr && *pFile != '\0' ? pFile : pComm->File();
    if (!WriteFileAtomically(strFile, pComm->ToText())) {
        m_log.Write(TRACE_ERROR, "Cannot write comm settings file '" + strFile + "'",
                    "CSessionConfig::SaveCommSettings()");
        return SCS_E_WRITE_FAILED;
    }
    return 0;
}

uint32_t CSessionConfig::SetLanguage(int32_t iId, const char* pLanguage) {
    if (HasLineBreak(pLanguage)) {
        return SCS_E_INVALID_ARG;
    }
    std::shared_ptr<CDestination> pDestination;
    const uint32_t uStatus = FindDestination(iId, pDestination);
    if (uStatus == 0) {
        pDestination->SetLanguage(pLanguage != nullptr ? pLanguage : "");
    }
    return uStatus;
}

}  // namespace zavscs
