#include "event_query/EventQueryServices.h"

#include <cstdlib>
#include <mutex>

#include "cml/CmlClassFactory.h"
#include "cml/CmlMessage.h"
#include "cml/EventQueryMessages/EventQueryMessages.h"
#include "event_query/EventQueryInstance.h"
#include "event_query/eqRetryState.h"
#include "services/BaseSupport.h"
#include "services/mslLoader_zavSessionConfigSvcs.h"
#include "zavToolsLib/ConvertUTF.h"
#include "zavToolsLib/zavStatus.h"

namespace {

constexpr const char* kServiceType = "Event Query Server";
constexpr const char* kSection = "event_query_services";
constexpr const char* kInitFunction = "CEventQueryServices::Init";

// The component keeps one registration per callback function, and every service object
// registers the same function: the last object to go unregisters it. An object that lost a
// race in EQ_Init, or one outliving its EQ_ShutDown, must not take it from its successor.
std::mutex g_settingsCallbackMutex;
int g_iSettingsCallbackUsers = 0;

}  // namespace

CEventQueryServices::CEventQueryServices() { RegisterDocumentClasses(); }

void CEventQueryServices::RegisterDocumentClasses() {
    zav::cml::CCmlClassFactory* factory = zav::cml::GetGlobalClassFactory();
    zav::cml::RegisterCmlMessage(factory);
    zav::cml::RegisterEventQueryMessages(factory);
}

CEventQueryServices::~CEventQueryServices() {
    delete m_pPendingRecord;
    delete m_pEqRetryState;
}

uint32_t CEventQueryServices::Init(const asThreadingTable* threading, const asTraceLog* traceLog,
                                   const char* version, const char* localPropertyFile,
                                   const char* commSettingsFile, const char* initString1,
                                   const char* initString2, const char* agentName,
                                   const char* agentNamespace) {
    m_pEqRetryState = new (std::nothrow) eqRetryState();
    if (m_pEqRetryState == nullptr) {
        return zavToolsLib::ZAV_E_OUT_OF_MEMORY;
    }
    uint32_t status = CBaseServices::Init(kServiceType, m_pEqRetryState, threading, traceLog,
                                          version, localPropertyFile, commSettingsFile, initString1,
                                          initString2, true, false);
    if (status != zavToolsLib::ZAV_OK) {
        // The base has already terminated itself; no thread runs.
        Terminate();
        Log(EQ_TRACE_ERROR, "Failed to initialize base services", kInitFunction);
        return status;
    }

    uint32_t settingsStatus;
    {
        CLockGuard guard(*this);  // the dispatch thread runs already
        settingsStatus = LoadSettings(kServiceType);
    }
    if (settingsStatus != zavToolsLib::ZAV_OK) {
        Log(EQ_TRACE_WARNING, "Failed to load settings from local property file", kInitFunction);
    }

    status = RegisterSettingsCallback();
    if (status != zavToolsLib::ZAV_OK) {
        // The dispatch thread runs and uses the lock and events: the caller stops it and the
        // last reference terminates the object.
        return status;
    }

    m_strAgentName = zavToolsLib::FromUtf8(agentName);
    m_strAgentNamespace = zavToolsLib::FromUtf8(agentNamespace);
    Log(EQ_TRACE_DEBUG, "Event Query Services initialized.", "CEventQueryServices::EQ_Init()");
    return zavToolsLib::ZAV_OK;
}

uint32_t CEventQueryServices::RegisterSettingsCallback() {
    std::lock_guard<std::mutex> lock(g_settingsCallbackMutex);
    const uint32_t status =
        SCS_CALL(SCS_RegisterSettingsChanged)(&zavEventQuery::SettingsChangedCallback, this);
    if (status == zavToolsLib::ZAV_OK) {
        ++g_iSettingsCallbackUsers;
        m_bSettingsCallbackRegistered = true;
    }
    return status;
}

void CEventQueryServices::UnregisterSettingsCallback() {
    std::lock_guard<std::mutex> lock(g_settingsCallbackMutex);
    if (m_bSettingsCallbackRegistered) {
        m_bSettingsCallbackRegistered = false;
        --g_iSettingsCallbackUsers;
    }
    if (g_iSettingsCallbackUsers == 0) {
        SCS_CALL(SCS_UnregisterSettingsChanged)(&zavEventQuery::SettingsChangedCallback);
    }
}

namespace {

// A reading limit: its settings key, the field it sets and the values it may take. The lower
// bounds keep every valid answer readable; the upper ones keep a bad setting from turning a
// limit off.
struct CLimitSetting {
    const char* key;
    uint32_t zav::cml::CCmlReadLimits::*field;
    uint32_t minimum;
    uint32_t maximum;
};

constexpr CLimitSetting kLimitSettings[] = {
    {"maxResponseSize", &zav::cml::CCmlReadLimits::uMaxResponseSize, 4096, 1024u * 1024u * 1024u},
    {"maxElementDepth", &zav::cml::CCmlReadLimits::uMaxElementDepth, 16, 256},
    {"maxMessageNesting", &zav::cml::CCmlReadLimits::uMaxMessageNesting, 1, 8},
    {"maxAttributes", &zav::cml::CCmlReadLimits::uMaxAttributes, 8, 1024},
    {"maxValueLength", &zav::cml::CCmlReadLimits::uMaxValueLength, 1024, 64u * 1024u * 1024u},
    {"maxResultItems", &zav::cml::CCmlReadLimits::uMaxResultItems, 1, 10000000},
    {"memoryFactor", &zav::cml::CCmlReadLimits::uMemoryFactor, 8, 256},
};

}  // namespace

uint32_t CEventQueryServices::LoadSettings(const std::string& serviceType) {
    std::string text;
    if (zavServices::RetrieveSetting(m_iDestinationId, kSection, "dumpEnabled", text)) {
        m_bDumpEnabled = strtol(text.c_str(), nullptr, 10) != 0;
    }
    zav::cml::CCmlReadLimits limits;
    for (const CLimitSetting& setting : kLimitSettings) {
        zavServices::RetrieveSettingInRange(m_iDestinationId, kSection, setting.key,
                                            setting.minimum, setting.maximum,
                                            limits.*setting.field);
    }
    m_readLimits = limits;
    return CBaseServices::LoadSettings(serviceType);
}

zav::cml::CCmlReadLimits CEventQueryServices::GetReadLimits() const {
    CLockGuard guard(*this);
    zav::cml::CCmlReadLimits limits = m_readLimits;
    limits.pCancel = &m_bStop;
    return limits;
}

uint32_t CEventQueryServices::OnSettingsChanged(int32_t destinationId) {
    if (destinationId == m_iDestinationId) {
        CLockGuard guard(*this);
        LoadSettings(kServiceType);
        if (m_pEqRetryState != nullptr) {
            m_pEqRetryState->Reload();
        }
    }
    return zavToolsLib::ZAV_OK;
}

uint32_t CEventQueryServices::Terminate() {
    if (m_bClientInitialised || m_bServerInitialised) {
        UnregisterSettingsCallback();
    }
    delete m_pEqRetryState;
    m_pEqRetryState = nullptr;
    m_pRetryState = nullptr;
    delete m_pPendingRecord;
    m_pPendingRecord = nullptr;
    m_uRequestState = kIdle;
    m_pfnBeginResultSet = nullptr;
    m_pfnEndResultSet = nullptr;
    m_pfnBeginResult = nullptr;
    m_pfnResultData = nullptr;
    m_pfnEndResult = nullptr;
    m_pfnError = nullptr;
    m_bDumpEnabled = false;
    return CBaseServices::Terminate();
}

void CEventQueryServices::RegisterErrorCallback(EQ_ErrorCallback callback) {
    {
        CLockGuard guard(*this);
        m_pfnError = callback;
    }
    Log(EQ_TRACE_DEBUG,
        callback != nullptr ? "Registered error callback: true"
                            : "Registered error callback: false",
        "CEventQueryServices::RegisterErrorCallback");
}

void CEventQueryServices::RegisterResultSetCallbacks(EQ_BeginResultSetCallback beginResultSet,
                                                     EQ_BeginResultCallback beginResult,
                                                     EQ_ResultDataCallback resultData,
                                                     EQ_EndResultCallback endResult,
                                                     EQ_EndResultSetCallback endResultSet) {
    CLockGuard guard(*this);
    m_pfnBeginResultSet = beginResultSet;
    m_pfnBeginResult = beginResult;
    m_pfnResultData = resultData;
    m_pfnEndResult = endResult;
    m_pfnEndResultSet = endResultSet;
}

void CEventQueryServices::ClearResultSetCallbacks() {
    RegisterResultSetCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
}

void CEventQueryServices::SetAuthentication(const char* user, const char* password) {
    std::wstring wideUser = zavToolsLib::FromUtf8(user);
    std::wstring widePassword = zavToolsLib::FromUtf8(password);
    m_strAuthUser.swap(wideUser);
    m_strAuthPassword.swap(widePassword);
}

void CEventQueryServices::SetObservanceResultFilter(const char* filter) {
    m_observanceFilter = zavEventQuery::SplitResultFilter(filter);
}

void CEventQueryServices::SetVulnerabilityResultFilter(const char* filter) {
    m_vulnerabilityFilter = zavEventQuery::SplitResultFilter(filter);
}

uint32_t CEventQueryServices::GetRequestState() const {
    CLockGuard guard(*this);
    return m_uRequestState;
}
