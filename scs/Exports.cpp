// The entry points this component implements. Each one catches everything: nothing thrown crosses
// into the caller. The rest answer SCS_E_NOT_SUPPORTED (NotSupported.cpp).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "ScsEntryPoints.h"
#include "ScsStatus.h"
#include "SessionConfig.h"

using zavscs::CSessionConfig;

namespace {

CSessionConfig& Scs() { return CSessionConfig::Instance(); }

void Report(const char* pFunction, const char* pWhat) noexcept {
    try {
        Scs().Log().Write(zavscs::TRACE_ERROR, std::string("Unexpected failure: ") + pWhat,
                          pFunction);
    } catch (...) {
        // Nothing left to report with.
    }
}

template <class F>
uint32_t Guard(const char* pFunction, F&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        Report(pFunction, "out of memory");
        return zavscs::SCS_E_NO_MEMORY;
    } catch (const std::exception& e) {
        Report(pFunction, e.what());
        return zavscs::SCS_E_EXCEPTION;
    } catch (...) {
        Report(pFunction, "unknown exception");
        return zavscs::SCS_E_EXCEPTION;
    }
}

// A NUL-terminated copy for the caller, released with SCS_Free.
char* CopyOut(const std::string& strText) {
    auto* pCopy = static_cast<char*>(std::malloc(strText.size() + 1));
    if (pCopy == nullptr) {
        throw std::bad_alloc();
    }
    std::memcpy(pCopy, strText.data(), strText.size());
    pCopy[strText.size()] = '\0';
    return pCopy;
}

uint32_t TextOut(uint32_t uStatus, const std::string& strText, char** ppText) {
    if (uStatus == 0) {
        *ppText = CopyOut(strText);
    }
    return uStatus;
}

uint32_t FormatStatus(uint32_t uStatus, char* pBuffer, uint32_t uSize) {
    if (pBuffer == nullptr || uSize < 2) {
        return zavscs::SCS_E_INVALID_ARG;
    }
    const char* pText = zavscs::StatusText(uStatus);
    const int iLength =
        std::snprintf(pBuffer, uSize, "%s [ID=0x%08X]", pText != nullptr ? pText : "Unknown status",
                      static_cast<unsigned>(uStatus));
    if (iLength < 0 || static_cast<uint32_t>(iLength) >= uSize) {
        pBuffer[0] = '\0';
        return zavscs::SCS_E_BUFFER_TOO_SMALL;
    }
    return 0;
}

uint32_t RetrieveValue(const char* pFunction, bool bServer, int32_t iId, const char* pSection,
                       const char* pKey, char** ppValue) {
    if (ppValue == nullptr) {
        return zavscs::SCS_E_INVALID_ARG;
    }
    *ppValue = nullptr;
    return Guard(pFunction, [&] {
        std::string strValue;
        return TextOut(Scs().RetrieveLocalSettingsValue(bServer, iId, pSection, pKey, strValue),
                       strValue, ppValue);
    });
}

}  // namespace

// ---- Memory and loader settings ---------------------------------------------------------------

void* SCS_Allocate(uint32_t size) { return std::malloc(size != 0 ? size : 1); }

void SCS_Free(void* block) { std::free(block); }

void SCS_SetMSLLibPath(const char* path) {
    Guard("SCS_SetMSLLibPath", [&] {
        Scs().SetLibPath(path);
        return 0u;
    });
}

void SCS_SetMSLExtSigFileExtension(const char* extension) {
    Guard("SCS_SetMSLExtSigFileExtension", [&] {
        Scs().SetSigFileExtension(extension);
        return 0u;
    });
}

uint32_t SCS_GetErrorMsg(uint32_t status, char* buffer, uint32_t size) {
    return FormatStatus(status, buffer, size);
}

uint32_t SCS_SERVER_GetErrorMsg(uint32_t status, char* buffer, uint32_t size) {
    return FormatStatus(status, buffer, size);
}

// ---- Life cycle and callbacks ------------------------------------------------------------------

uint32_t SCS_Init(const char* version, const char* init1, const char*, const asTraceLog* log) {
    return Guard("SCS_Init", [&] { return Scs().Init(false, version, init1, log); });
}

uint32_t SCS_ShutDown(void) {
    return Guard("SCS_ShutDown", [&] { return Scs().ShutDown(false); });
}

uint32_t SCS_SERVER_Init(const char* version, const char* init1, const char*,
                         const asTraceLog* log) {
    return Guard("SCS_SERVER_Init", [&] { return Scs().Init(true, version, init1, log); });
}

uint32_t SCS_SERVER_ShutDown(void) {
    return Guard("SCS_SERVER_ShutDown", [&] { return Scs().ShutDown(true); });
}

uint32_t SCS_RegisterSettingsChanged(SCS_SettingsChangedCallback callback, void* context) {
    return Guard("SCS_RegisterSettingsChanged",
                 [&] { return Scs().RegisterSettingsChanged(false, callback, context); });
}

uint32_t SCS_UnregisterSettingsChanged(SCS_SettingsChangedCallback callback) {
    return Guard("SCS_UnregisterSettingsChanged",
                 [&] { return Scs().UnregisterSettingsChanged(false, callback); });
}

uint32_t SCS_SERVER_RegisterSettingsChanged(SCS_SettingsChangedCallback callback, void* context) {
    return Guard("SCS_SERVER_RegisterSettingsChanged",
                 [&] { return Scs().RegisterSettingsChanged(true, callback, context); });
}

uint32_t SCS_SERVER_UnregisterSettingsChanged(SCS_SettingsChangedCallback callback) {
    return Guard("SCS_SERVER_UnregisterSettingsChanged",
                 [&] { return Scs().UnregisterSettingsChanged(true, callback); });
}

// ---- Local settings ----------------------------------------------------------------------------

uint32_t SCS_RetrieveLocalSettingsValue(int32_t destinationId, const char* section, const char* key,
                                        char** value) {
    return RetrieveValue("SCS_RetrieveLocalSettingsValue", false, destinationId, section, key,
                         value);
}

uint32_t SCS_SERVER_RetrieveLocalSettingsValue(int32_t listenerId, const char* section,
                                               const char* key, char** value) {
    return RetrieveValue("SCS_SERVER_RetrieveLocalSettingsValue", true, listenerId, section, key,
                         value);
}

uint32_t SCS_LoadLocalSettingsFile(int32_t destinationId, const char* file) {
    return Guard("SCS_LoadLocalSettingsFile",
                 [&] { return Scs().LoadLocalSettingsFile(false, destinationId, file); });
}

uint32_t SCS_SERVER_LoadLocalSettingsFile(int32_t listenerId, const char* file) {
    return Guard("SCS_SERVER_LoadLocalSettingsFile",
                 [&] { return Scs().LoadLocalSettingsFile(true, listenerId, file); });
}

// ---- Destinations and listeners ----------------------------------------------------------------

uint32_t SCS_AddDestinationFiles(const char* localPropertyFile, const char* commSettingsFile,
                                 int32_t* destinationId) {
    if (destinationId == nullptr) {
        return zavscs::SCS_E_INVALID_ARG;
    }
    return Guard("SCS_AddDestinationFiles", [&] {
        return Scs().AddDestinationFiles(localPropertyFile, commSettingsFile, *destinationId);
    });
}

uint32_t SCS_RemoveDestination(int32_t destinationId) {
    return Guard("SCS_RemoveDestination", [&] { return Scs().RemoveDestination(destinationId); });
}

uint32_t SCS_RemoveDestinations(void) {
    return Guard("SCS_RemoveDestinations", [&] { return Scs().RemoveDestinations(); });
}

uint32_t SCS_GetDestinationCount(uint32_t* count) {
    if (count == nullptr) {
        return zavscs::SCS_E_INVALID_ARG;
    }
    return Guard("SCS_GetDestinationCount", [&] {
        std::vector<int32_t> ids;
        const uint32_t uStatus = Scs().GetDestinations(ids);
        *count = uStatus == 0 ? static_cast<uint32_t>(ids.size()) : 0;
        return uStatus;
    });
}

// *count: on entry the room in ids, on return the number of destinations.
uint32_t SCS_GetDestinations(int32_t* ids, uint32_t* count) {
    if (count == nullptr) {
        return zavscs::SCS_E_INVALID_ARG;
    }
    return Guard("SCS_GetDestinations", [&] {
        std::vector<int32_t> all;
        const uint32_t uStatus = Scs().GetDestinations(all);
        if (uStatus != 0) {
            return uStatus;
        }
        const uint32_t uRoom = ids != nullptr ? *count : 0;
        *count = static_cast<uint32_t>(all.size());
        if (all.size() > uRoom) {
            return zavscs::SCS_E_BUFFER_TOO_SMALL;
        }
        std::copy(all.begin(), all.end(), ids);
        return 0u;
    });
}

uint32_t SCS_SERVER_AddListenerFiles(const char* localPropertyFile,
                                     const char* listenerSettingsFile, int32_t* listenerId) {
    if (listenerId == nullptr) {
        return zavscs::SCS_E_INVALID_ARG;
    }
    return Guard("SCS_SERVER_AddListenerFiles", [&] {
        return Scs().AddListenerFiles(localPropertyFile, listenerSettingsFile, *listenerId);
    });
}

uint32_t SCS_SERVER_RemoveListener(int32_t listenerId) {
    return Guard("SCS_SERVER_RemoveListener", [&] { return Scs().RemoveListener(listenerId); });
}

// ---- Comm settings -----------------------------------------------------------------------------

uint32_t SCS_GetServerCount(int32_t destinationId, uint32_t* count) {
    if (count == nullptr) {
        return zavscs::SCS_E_INVALID_ARG;
    }
    return Guard("SCS_GetServerCount", [&] {
        std::vector<std::string> servers;
        const uint32_t uStatus = Scs().GetServers(destinationId, servers);
        *count = uStatus == 0 ? static_cast<uint32_t>(servers.size()) : 0;
        return uStatus;
    });
}

uint32_t SCS_GetServerInfo(int32_t destinationId, uint32_t index, char** url) {
    if (url == nullptr) {
        return zavscs::SCS_E_INVALID_ARG;
    }
    *url = nullptr;
    return Guard("SCS_GetServerInfo", [&] {
        std::vector<std::string> servers;
        const uint32_t uStatus = Scs().GetServers(destinationId, servers);
        if (uStatus != 0) {
            return uStatus;
        }
        return index < servers.size() ? TextOut(0, servers[index], url) : SCS_E_BAD_SERVER_INDEX;
    });
}

uint32_t SCS_AddServer(int32_t destinationId, const char* url) {
    return Guard("SCS_AddServer", [&] { return Scs().AddServer(destinationId, url); });
}

uint32_t SCS_DeleteServer(int32_t destinationId, uint32_t index) {
    return Guard("SCS_DeleteServer", [&] { return Scs().DeleteServer(destinationId, index); });
}

uint32_t SCS_LoadCommSettingsFile(int32_t destinationId, const char* file) {
    return Guard("SCS_LoadCommSettingsFile",
                 [&] { return Scs().LoadCommSettingsFile(destinationId, file); });
}

uint32_t SCS_SaveCommSettings(int32_t destinationId, const char* file) {
    return Guard("SCS_SaveCommSettings",
                 [&] { return Scs().SaveCommSettings(destinationId, file); });
}

uint32_t SCS_SetLanguage(int32_t destinationId, const char* language) {
    return Guard("SCS_SetLanguage", [&] { return Scs().SetLanguage(destinationId, language); });
}

uint32_t SCS_TestCommSettings(uint32_t value1, uint32_t value2, const char* section) {
    return Guard("SCS_TestCommSettings",
                 [&] { return Scs().TestCommSettings(value1, value2, section, false); });
}

uint32_t SCS_TestCommSettingsFile(uint32_t value1, uint32_t value2, const char* section) {
    return Guard("SCS_TestCommSettingsFile",
                 [&] { return Scs().TestCommSettings(value1, value2, section, true); });
}

// ---- Transport ---------------------------------------------------------------------------------

uint32_t SCS_PostData(int32_t destinationId, int32_t serverIndex, const char* path, uint32_t,
                      const char* contentType, const char* data, uint32_t length,
                      const uint32_t* timeouts, char** response, uint32_t* responseLength) {
    if (response == nullptr || responseLength == nullptr) {
        return zavscs::SCS_E_INVALID_ARG;
    }
    *response = nullptr;
    *responseLength = 0;
    return Guard("SCS_PostData", [&] {
        std::string strBody;
        const zavscs::SPostArgs args{destinationId, serverIndex, path,    contentType,
                                     data,          length,      timeouts};
        const uint32_t uStatus = Scs().PostData(args, strBody);
        if (uStatus == 0) {
            if (strBody.size() > UINT32_MAX) {
                return zavscs::SCS_E_NO_MEMORY;
            }
            *response = CopyOut(strBody);
            *responseLength = static_cast<uint32_t>(strBody.size());
        }
        return uStatus;
    });
}

// ---- Agent id ----------------------------------------------------------------------------------

uint32_t SCS_GetAgentId(char** agentId) {
    if (agentId == nullptr) {
        return zavscs::SCS_E_INVALID_ARG;
    }
    *agentId = nullptr;
    return Guard("SCS_GetAgentId", [&] {
        std::string strAgentId;
        return TextOut(Scs().GetAgentId(strAgentId), strAgentId, agentId);
    });
}

uint32_t SCS_SetAgentId(const char* agentId) {
    return Guard("SCS_SetAgentId", [&] { return Scs().SetAgentId(agentId, false); });
}

uint32_t SCS_SetLastGoodAgentId(const char* agentId) {
    return Guard("SCS_SetLastGoodAgentId", [&] { return Scs().SetAgentId(agentId, true); });
}
