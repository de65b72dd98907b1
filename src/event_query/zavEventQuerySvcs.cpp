// The exported EQ_ functions. Each one catches everything: nothing thrown crosses the C interface.
// Operations on the service object run under GuardedCall, which holds a reference for the call.
#include "zavEventQuerySvcs.h"

#include <chrono>

#include <atomic>
#include <memory>
#include <new>

#include "event_query/EventQueryInstance.h"
#include "event_query/EventQueryServices.h"
#include "event_query/EventQueryValidation.h"
#include "services/mslLoader.h"
#include "services/mslLoader_zavSessionConfigSvcs.h"
#include "zavToolsLib/asThreadingDefault.h"
#include "zavToolsLib/c-api-zavError.h"
#include "zavToolsLib/zavStatus.h"
#include "zavToolsLib/zavTraceLog.h"

using zavEventQuery::ComponentCall;
using zavEventQuery::CQueryParams;
using zavEventQuery::EQueryKind;
using zavEventQuery::GuardedCall;
using namespace zavToolsLib;

namespace {

constexpr const char* kSection = "event_query_services";

// Obtained by the first EQ_Init and kept for the life of the process.
std::atomic<const asThreadingTable*> g_pThreading{nullptr};

// Holds the threading table's process-wide lock for a scope.
class CProcessLock {
public:
    explicit CProcessLock(const asThreadingTable* threading) : m_pThreading(threading) {
        m_bLocked = m_pThreading->Lock(AS_PROCESS_LOCK) == ZAV_OK;
    }
    ~CProcessLock() {
        if (m_bLocked) m_pThreading->Unlock(AS_PROCESS_LOCK);
    }
    CProcessLock(const CProcessLock&) = delete;
    CProcessLock& operator=(const CProcessLock&) = delete;

private:
    const asThreadingTable* m_pThreading;
    bool m_bLocked;
};

// Gives up an object that was never published: its dispatch thread may run and hold a
// reference of its own, so it is stopped first; the last reference terminates and deletes it.
struct CGiveUp {
    void operator()(CEventQueryServices* services) const {
        try {
            services->ShutDown();
            services->Release();
        } catch (...) {
            // Nothing may leave the interface; at worst the object is not freed.
        }
    }
};
using CUnpublishedServices = std::unique_ptr<CEventQueryServices, CGiveUp>;

// An EQ_Init attempt's hold on the trace log. The published object keeps it until EQ_ShutDown;
// an attempt that fails or loses the race drops it, which closes the log only when no other
// session shares it (after a failed EQ_Init the application may free its log).
class CTraceLogHold {
public:
    explicit CTraceLogHold(const asTraceLog* log) : m_pLog(log) { zavToolsLib::OpenTraceLog(log); }
    ~CTraceLogHold() {
        try {
            zavToolsLib::CloseTraceLog(m_pLog);
        } catch (...) {
            // Nothing leaves a destructor; the log then stays open.
        }
    }
    CTraceLogHold(const CTraceLogHold&) = delete;
    CTraceLogHold& operator=(const CTraceLogHold&) = delete;
    void HandOver() { m_pLog = nullptr; }

private:
    const asTraceLog* m_pLog;
};

// EQ_Init from step 4 on. May throw; declared in this order, a given-up object is stopped
// before the log hold goes.
uint32_t CreateAndPublish(const char* version, const char* localPropertyFile,
                          const char* commSettingsFile, const char* initString1,
                          const char* initString2, const char* agentName,
                          const char* agentNamespace, const asTraceLog* traceLog) {
    const asThreadingTable* threading = g_pThreading.load();
    if (threading == nullptr) {
        threading = zavGetDefaultThreadingTable();
        g_pThreading.store(threading);
    }
    CTraceLogHold hold(traceLog);
    CUnpublishedServices services(new (std::nothrow) CEventQueryServices());
    if (!services) {
        return ZAV_E_OUT_OF_MEMORY;
    }
    // The reference that publication will hold; taken first so that giving the object up
    // always goes through Release, whatever Init got as far as.
    services->AddRef();
    const uint32_t status =
        services->Init(threading, traceLog, version, localPropertyFile, commSettingsFile,
                       initString1, initString2, agentName, agentNamespace);
    if (status != ZAV_OK) {
        return status;
    }
    CProcessLock lock(threading);
    if (zavEventQuery::GetInstance() == nullptr) {
        zavEventQuery::SetInstance(services.release());
        hold.HandOver();
    }
    // Otherwise a concurrent EQ_Init won; the library is initialised all the same.
    return ZAV_OK;
}

uint32_t RunQuery(const CQueryParams& params) {
    return GuardedCall([&params](CEventQueryServices& services) { return services.Query(params); });
}

// The Get forms: both times as dateTime texts, then the Query form.
uint32_t RunTimeQuery(time_t startTime, time_t endTime, CQueryParams params) {
    return GuardedCall([&](CEventQueryServices& services) {
        std::string start;
        std::string end;
        if (!zavEventQuery::FormatUtcTime(startTime, start) ||
            !zavEventQuery::FormatUtcTime(endTime, end)) {
            services.Log(EQ_TRACE_ERROR, "The time range was invalid.",
                         zavEventQuery::GetFunctionName(params.eKind));
            return ZAV_E_INVALID_ARG;
        }
        params.pszStartTime = start.c_str();
        params.pszEndTime = end.c_str();
        return services.Query(params);
    });
}

CQueryParams VulnParams(EQueryKind kind, const char* startTime, const char* endTime,
                        const char* selector, uint8_t fixed, int32_t count, uint32_t clientData) {
    CQueryParams params;
    params.eKind = kind;
    params.pszStartTime = startTime;
    params.pszEndTime = endTime;
    params.pszSelector = selector;
    params.bFixed = fixed != 0;
    params.iCount = count;
    params.uClientData = clientData;
    return params;
}

CQueryParams ObservanceParams(EQueryKind kind, const char* startTime, const char* endTime,
                              const char* selector, int32_t analysisFlags, const char* typeFilter,
                              uint8_t exclude, uint32_t count, uint32_t clientData) {
    CQueryParams params;
    params.eKind = kind;
    params.pszStartTime = startTime;
    params.pszEndTime = endTime;
    params.pszSelector = selector;
    params.iAnalysisFlags = analysisFlags;
    params.pszTypeFilter = typeFilter;
    params.bExclude = exclude != 0;
    params.iCount = static_cast<int32_t>(count);
    params.uClientData = clientData;
    return params;
}

}  // namespace

// ---- Life cycle ---------------------------------------------------------------------------------

uint32_t EQ_GetErrorMsg(uint32_t status, char* buffer, uint32_t bufferSize) {
    try {
        return zavGetErrorMsg(status, buffer, bufferSize);
    } catch (...) {
        return ZAV_E_EXCEPTION;
    }
}

uint32_t EQ_Init(const char* version, const char* localPropertyFile, const char* commSettingsFile,
                 const char* initString1, const char* initString2, const char* agentName,
                 const char* agentNamespace, const asTraceLog* traceLog) {
    if (version == nullptr || localPropertyFile == nullptr || commSettingsFile == nullptr ||
        initString1 == nullptr || agentName == nullptr || agentNamespace == nullptr) {
        return ZAV_E_INVALID_ARG;
    }
    if (version[0] != '5' || version[1] != '.') {
        return ZAV_E_INVALID_ARG;
    }
    if (zavEventQuery::GetInstance() != nullptr) {
        return EQ_I_ALREADY_INITIALIZED;
    }
    try {
        return CreateAndPublish(version, localPropertyFile, commSettingsFile, initString1,
                                initString2, agentName, agentNamespace, traceLog);
    } catch (...) {
        return ZAV_E_EXCEPTION;
    }
}

uint32_t EQ_ShutDown(void) {
    CEventQueryServices* services = nullptr;
    try {
        const asThreadingTable* threading = g_pThreading.load();
        if (threading == nullptr) {
            return ZAV_OK;  // never initialised
        }
        CProcessLock lock(threading);
        services = zavEventQuery::GetInstance();
        zavEventQuery::SetInstance(nullptr);
    } catch (...) {
        return ZAV_E_EXCEPTION;
    }
    if (services == nullptr) {
        return ZAV_OK;
    }
    try {
        // Wait, within shutdownTimeout in all, for the dispatch thread to stop and then to drop
        // its reference: a host that exits right after EQ_ShutDown must not race the thread's
        // last clean-up. Calls still running in other threads keep the object alive on their
        // own and are not waited for. Inside a callback the thread is the caller: no waiting.
        const auto deadline =
            std::chrono::steady_clock::now() +
            std::chrono::milliseconds(services->GetTimeouts()[CBaseServices::kShutdownTimeout]);
        const bool inDispatchThread = services->IsDispatchThread();
        const auto dispatchDone = services->GetDispatchDoneSignal();
        const asTraceLog* const traceLog = services->GetTraceLog();
        services->ClearResultSetCallbacks();
        if (!inDispatchThread) {
            services->ShutDown();
        } else {
            services->RequestStop();
        }
        // A post that the stop ended has been reported by now, unless the thread is abandoned.
        services->CloseErrorCallback();
        services->Release();
        if (!inDispatchThread && dispatchDone != nullptr) {
            dispatchDone->WaitUntil(deadline);
        }
        // The application may free its trace log now: whatever still runs writes no more.
        zavToolsLib::CloseTraceLog(traceLog);
        return ZAV_OK;
    } catch (...) {
        return ZAV_E_EXCEPTION;
    }
}

// ---- Callbacks and settings ---------------------------------------------------------------------

uint32_t EQ_RegisterErrorCallback(EQ_ErrorCallback errorCallback) {
    return GuardedCall([&](CEventQueryServices& services) {
        services.RegisterErrorCallback(errorCallback);
        return ZAV_OK;
    });
}

uint32_t EQ_RegisterResultSetCallbacks(EQ_BeginResultSetCallback beginResultSet,
                                       EQ_BeginResultCallback beginResult,
                                       EQ_ResultDataCallback resultData,
                                       EQ_EndResultCallback endResult,
                                       EQ_EndResultSetCallback endResultSet) {
    return GuardedCall([&](CEventQueryServices& services) {
        services.RegisterResultSetCallbacks(beginResultSet, beginResult, resultData, endResult,
                                            endResultSet);
        return ZAV_OK;
    });
}

uint32_t EQ_LoadCommSettingsFile(const char* file) {
    return GuardedCall([&](CEventQueryServices& services) {
        return ComponentCall(services, [&] {
            return SCS_CALL(SCS_LoadCommSettingsFile)(services.GetDestinationId(), file);
        });
    });
}

uint32_t EQ_LoadLocalSettingsFile(const char* file) {
    return GuardedCall([&](CEventQueryServices& services) {
        return ComponentCall(services, [&] {
            return SCS_CALL(SCS_LoadLocalSettingsFile)(services.GetDestinationId(), file);
        });
    });
}

uint32_t EQ_SaveCommSettings(const char* file) {
    return GuardedCall([&](CEventQueryServices& services) {
        return ComponentCall(services, [&] {
            return SCS_CALL(SCS_SaveCommSettings)(services.GetDestinationId(), file);
        });
    });
}

uint32_t EQ_SetLanguage(const char* language) {
    return GuardedCall([&](CEventQueryServices& services) {
        return ComponentCall(services, [&] {
            return SCS_CALL(SCS_SetLanguage)(services.GetDestinationId(), language);
        });
    });
}

uint32_t EQ_SetAgentId(const char* agentId) {
    return GuardedCall([&](CEventQueryServices& services) {
        return ComponentCall(services, [&] { return SCS_CALL(SCS_SetAgentId)(agentId); });
    });
}

uint32_t EQ_SetLastGoodAgentId(const char* agentId) {
    return GuardedCall([&](CEventQueryServices& services) {
        return ComponentCall(services, [&] { return SCS_CALL(SCS_SetLastGoodAgentId)(agentId); });
    });
}

uint32_t EQ_TestCommSettings(uint32_t value1, uint32_t value2) {
    return GuardedCall([&](CEventQueryServices& services) {
        return ComponentCall(services,
                             [&] { return services.TestCommSettings(value1, value2, kSection); });
    });
}

uint32_t EQ_TestCommSettingsFile(uint32_t value1, uint32_t value2) {
    return GuardedCall([&](CEventQueryServices& services) {
        return ComponentCall(
            services, [&] { return services.TestCommSettingsFile(value1, value2, kSection); });
    });
}

uint32_t EQ_ResetToPrimaryController(void) {
    return GuardedCall(
        [](CEventQueryServices& services) { return services.ResetToPrimaryController(); });
}

uint32_t EQ_SetAuthentication(const char* user, const char* password) {
    return GuardedCall([&](CEventQueryServices& services) {
        services.SetAuthentication(user, password);
        return ZAV_OK;
    });
}

uint32_t EQ_SetObservanceResultFilter(const char* filter) {
    return GuardedCall([&](CEventQueryServices& services) {
        services.SetObservanceResultFilter(filter);
        return ZAV_OK;
    });
}

uint32_t EQ_SetVulnerabilityResultFilter(const char* filter) {
    return GuardedCall([&](CEventQueryServices& services) {
        services.SetVulnerabilityResultFilter(filter);
        return ZAV_OK;
    });
}

// ---- Queries ------------------------------------------------------------------------------------

uint32_t EQ_QueryVulnsByAddress(const char* startTime, const char* endTime,
                                const char* addressRange, uint8_t fixed, int32_t count,
                                uint32_t clientData) {
    return RunQuery(VulnParams(EQueryKind::VulnsByAddress, startTime, endTime, addressRange, fixed,
                               count, clientData));
}

uint32_t EQ_QueryVulnsByGroup(const char* startTime, const char* endTime, const char* groupId,
                              uint8_t fixed, int32_t count, uint32_t clientData) {
    return RunQuery(VulnParams(EQueryKind::VulnsByGroup, startTime, endTime, groupId, fixed, count,
                               clientData));
}

uint32_t EQ_GetVulnsByAddress(time_t startTime, time_t endTime, const char* addressRange,
                              uint8_t fixed, int32_t count, uint32_t clientData) {
    return RunTimeQuery(startTime, endTime,
                        VulnParams(EQueryKind::VulnsByAddress, nullptr, nullptr, addressRange,
                                   fixed, count, clientData));
}

uint32_t EQ_GetVulnsByGroup(time_t startTime, time_t endTime, const char* groupId, uint8_t fixed,
                            int32_t count, uint32_t clientData) {
    return RunTimeQuery(
        startTime, endTime,
        VulnParams(EQueryKind::VulnsByGroup, nullptr, nullptr, groupId, fixed, count, clientData));
}

uint32_t EQ_QueryObservancesByAddress(const char* startTime, const char* endTime,
                                      const char* addressRange, int32_t analysisFlags,
                                      const char* typeFilter, uint8_t exclude, uint32_t count,
                                      uint32_t clientData) {
    return RunQuery(ObservanceParams(EQueryKind::ObservancesByAddress, startTime, endTime,
                                     addressRange, analysisFlags, typeFilter, exclude, count,
                                     clientData));
}

uint32_t EQ_QueryObservancesByGroup(const char* startTime, const char* endTime, const char* groupId,
                                    int32_t analysisFlags, const char* typeFilter, uint8_t exclude,
                                    uint32_t count, uint32_t clientData) {
    return RunQuery(ObservanceParams(EQueryKind::ObservancesByGroup, startTime, endTime, groupId,
                                     analysisFlags, typeFilter, exclude, count, clientData));
}

uint32_t EQ_GetObservanceSummaryByAddress(time_t startTime, time_t endTime,
                                          const char* addressRange, int32_t analysisFlags,
                                          const char* typeFilter, uint8_t exclude, uint32_t count,
                                          uint32_t clientData) {
    return RunTimeQuery(
        startTime, endTime,
        ObservanceParams(EQueryKind::ObservancesByAddress, nullptr, nullptr, addressRange,
                         analysisFlags, typeFilter, exclude, count, clientData));
}

uint32_t EQ_GetObservanceSummaryByGroup(time_t startTime, time_t endTime, const char* groupId,
                                        int32_t analysisFlags, const char* typeFilter,
                                        uint8_t exclude, uint32_t count, uint32_t clientData) {
    return RunTimeQuery(startTime, endTime,
                        ObservanceParams(EQueryKind::ObservancesByGroup, nullptr, nullptr, groupId,
                                         analysisFlags, typeFilter, exclude, count, clientData));
}

// ---- Memory, loader settings, time --------------------------------------------------------------

void* EQ_Allocate(uint32_t size) {
    if (zavEventQuery::GetInstance() == nullptr) {
        return nullptr;
    }
    return new (std::nothrow) char[size];
}

void EQ_Free(void* block) {
    if (zavEventQuery::GetInstance() != nullptr && block != nullptr) {
        delete[] static_cast<char*>(block);
    }
}

void EQ_SetMSLLibPath(const char* path) {
    try {
        if (path != nullptr) {
            zavServices::SetMSLLoaderLibPath(path);
        }
    } catch (...) {
        // Nothing may leave the interface; the setting keeps its previous value.
    }
}

void EQ_SetMSLExtSigFileExtension(const char* extension) {
    try {
        if (extension != nullptr) {
            zavServices::SetMSLLoaderExtSigFileExtension(extension);
        }
    } catch (...) {
        // As above.
    }
}

uint32_t EQ_ConvertUTCToTime(const char* utcTime, time_t* result) {
    try {
        return zavEventQuery::ConvertUtcToTime(utcTime, result);
    } catch (...) {
        return ZAV_E_EXCEPTION;
    }
}
