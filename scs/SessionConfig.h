// The component's process-wide state and the operations behind the SCS_ entry points. Operations
// return statuses and may throw (the entry points catch). No internal lock is held during a
// transfer or while a settings-changed callback runs. Life cycle, callbacks, agent id and listeners
// are in SessionConfig.cpp, destinations and settings in SessionConfigSettings.cpp, posts and
// reachability tests in SessionConfigTransport.cpp.
#ifndef ZAV_SCS_SESSION_CONFIG_H
#define ZAV_SCS_SESSION_CONFIG_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AgentIdStore.h"
#include "Destinations.h"
#include "HttpTransport.h"
#include "SettingsCallbacks.h"
#include "TraceLog.h"

namespace zavscs {

struct SPostArgs {
    int32_t iDestinationId;
    int32_t iServerIndex;
    const char* pPath;
    const char* pContentType;
    const char* pData;
    uint32_t uLength;
    const uint32_t* pTimeouts;  // SCS_TIMEOUT_* indexes, may be null
};

class CSessionConfig {
public:
    static CSessionConfig& Instance();
    const CTraceLog& Log() const { return m_log; }

    // bServer selects the SCS_SERVER_ side: listeners instead of destinations.
    uint32_t Init(bool bServer, const char* pVersion, const char* pInit1, const asTraceLog* pLog);
    uint32_t ShutDown(bool bServer);
    uint32_t RegisterSettingsChanged(bool bServer, SCS_SettingsChangedCallback callback,
                                     void* pContext);
    uint32_t UnregisterSettingsChanged(bool bServer, SCS_SettingsChangedCallback callback);
    uint32_t RetrieveLocalSettingsValue(bool bServer, int32_t iId, const char* pSection,
                                        const char* pKey, std::string& strValue);
    uint32_t LoadLocalSettingsFile(bool bServer, int32_t iId, const char* pFile);

    uint32_t AddDestinationFiles(const char* pLocalFile, const char* pCommFile, int32_t& iId);
    uint32_t RemoveDestination(int32_t iId);
    uint32_t RemoveDestinations();
    uint32_t GetDestinations(std::vector<int32_t>& ids);

    uint32_t GetServers(int32_t iId, std::vector<std::string>& servers);
    uint32_t AddServer(int32_t iId, const char* pUrl);
    uint32_t DeleteServer(int32_t iId, uint32_t uIndex);
    uint32_t LoadCommSettingsFile(int32_t iId, const char* pFile);
    uint32_t SaveCommSettings(int32_t iId, const char* pFile);
    uint32_t SetLanguage(int32_t iId, const char* pLanguage);

    uint32_t PostData(const SPostArgs& args, std::string& strResponse);
    uint32_t TestCommSettings(uint32_t uValue1, uint32_t uValue2, const char* pSection,
                              bool bReadFile);

    uint32_t GetAgentId(std::string& strAgentId);
    uint32_t SetAgentId(const char* pAgentId, bool bLastGood);

    uint32_t AddListenerFiles(const char* pLocalFile, const char* pSettingsFile, int32_t& iId);
    uint32_t RemoveListener(int32_t iId);

    void SetLibPath(const char* pPath);
    void SetSigFileExtension(const char* pExtension);

private:
    CSessionConfig() = default;
    static bool HasLineBreak(const char* pText);

    uint32_t FindDestination(int32_t iId, std::shared_ptr<CDestination>& pDestination);
    uint32_t FindLocal(bool bServer, int32_t iId,
                       std::shared_ptr<CSnapshot<CLocalSettings>>& pLocal);
    uint32_t ReadLocal(const std::string& strFile, std::shared_ptr<const CLocalSettings>& pLocal,
                       const char* pFunction);
    uint32_t ReadComm(const std::string& strFile, std::shared_ptr<const CCommSettings>& pComm,
                      const char* pFunction);
    void WarnSkipped(const std::string& strFile, size_t uSkipped, const char* pFunction) const;
    uint32_t ProbeDestination(int32_t iId, CDestination& destination, uint32_t uTimeout,
                              const char* pSection, bool bReadFile, uint64_t uGeneration);
    void NotifyChanged(bool bServer, int32_t iId);

    CTraceLog m_log;
    CHttpTransport m_transport;
    CAgentIdStore m_agentIds;
    CSettingsCallbacks m_clientCallbacks;
    CSettingsCallbacks m_serverCallbacks;

    std::mutex m_mutex;  // guards the members below; never held across I/O to a server
    int32_t m_iClientInits = 0;
    int32_t m_iServerInits = 0;
    std::string m_strUserAgent;
    CIdTable<CDestination> m_destinations;
    CIdTable<CListener> m_listeners;
    std::string m_strLibPath;
    std::string m_strSigFileExtension;
};

}  // namespace zavscs

#endif
