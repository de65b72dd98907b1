#include "services/BaseServices.h"

#include <openssl/crypto.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "services/BaseSupport.h"
#include "services/mslLoader.h"
#include "services/mslLoader_zavSessionConfigSvcs.h"
#include "zavToolsLib/zavStatus.h"
#include "zavToolsLib/zavTraceLog.h"

namespace {

constexpr const char* kInitFunction = "CBaseServices::Init()";
constexpr const char* kThreadFunction = "CBaseServices::_DispatchThread()";
constexpr const char* kComponentVersion = "5.9";
constexpr uint32_t kWaitForever = 0xFFFFFFFFu;

const char* OrNull(const char* text) { return text != nullptr ? text : "(null)"; }

}  // namespace

// ---- Instance lock --------------------------------------------------------------------------

CBaseServices::CLockGuard::CLockGuard(const CBaseServices& services)
    : m_pThreading(services.m_pThreading), m_hLock(services.m_hLock), m_bLocked(false) {
    if (m_pThreading != nullptr && m_hLock != 0) {
        m_bLocked = m_pThreading->Lock(m_hLock) == zavToolsLib::ZAV_OK;
    }
}

CBaseServices::CLockGuard::~CLockGuard() {
    if (m_bLocked) {
        m_pThreading->Unlock(m_hLock);
    }
}

uint32_t CBaseServices::Lock() const {
    if (m_pThreading == nullptr || m_hLock == 0) {
        return zavToolsLib::ZAV_OK;
    }
    return m_pThreading->Lock(m_hLock);
}

uint32_t CBaseServices::Unlock() const {
    if (m_pThreading == nullptr || m_hLock == 0) {
        return zavToolsLib::ZAV_OK;
    }
    return m_pThreading->Unlock(m_hLock);
}

// ---- Construction ---------------------------------------------------------------------------

CBaseServices::CBaseServices() = default;

CBaseServices::~CBaseServices() {
    if (m_bComponentLoaded) {
        zavServices::UnloadZavSessionConfigSvcs();
    }
    m_pReleased->Set();
}

void CBaseServices::CReleaseSignal::Set() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_bSet = true;
    m_condition.notify_all();
}

bool CBaseServices::CReleaseSignal::WaitUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_condition.wait_until(lock, deadline, [this] { return m_bSet; });
}

namespace {
// The service whose dispatch thread this is; null in every other thread.
thread_local const CBaseServices* t_pDispatchingService = nullptr;
}  // namespace

bool CBaseServices::IsDispatchThread() const { return t_pDispatchingService == this; }

// ---- Initialisation -------------------------------------------------------------------------

uint32_t CBaseServices::Init(const std::string& serviceType, svcRetryState* retryState,
                             const asThreadingTable* threading, const asTraceLog* traceLog,
                             const char* version, const char* localPropertyFile,
                             const char* commSettingsFile, const char* initString1,
                             const char* initString2, bool client, bool server) {
    return InitServices(serviceType, retryState, threading, traceLog, version, localPropertyFile,
                        commSettingsFile, commSettingsFile, initString1, initString2, client,
                        server);
}

uint32_t CBaseServices::Init(const std::string& serviceType, svcRetryState* retryState,
                             const asThreadingTable* threading, const asTraceLog* traceLog,
                             const char* version, const char* localPropertyFile,
                             const char* commSettingsFile, const char* listenerSettingsFile,
                             const char* initString1, const char* initString2) {
    return InitServices(serviceType, retryState, threading, traceLog, version, localPropertyFile,
                        commSettingsFile, listenerSettingsFile, initString1, initString2, true,
                        true);
}

uint32_t CBaseServices::InitServices(const std::string& serviceType, svcRetryState* retryState,
                                     const asThreadingTable* threading, const asTraceLog* traceLog,
                                     const char* version, const char* localPropertyFile,
                                     const char* commSettingsFile, const char* listenerSettingsFile,
                                     const char* initString1, const char* initString2, bool client,
                                     bool server) {
    char message[1024];
    try {
        uint32_t status = CreateSyncObjects(threading);
        if (status != zavToolsLib::ZAV_OK) {
            Terminate();
            return status;
        }

        m_pTraceLog = traceLog;
        m_strClientVersion = version != nullptr ? version : "";
        zavServices::SetMSLLoaderTraceLog(traceLog);
        status = zavServices::LoadZavSessionConfigSvcs(zavServices::ZAV_SCS_LIBRARY_NAME);
        // A missing symbol leaves the load counted (and the library open) all the same.
        m_bComponentLoaded =
            status == zavToolsLib::ZAV_OK || status == zavToolsLib::ZAV_E_LIB_SYMBOL;
        if (status != zavToolsLib::ZAV_OK) {
            Log(EQ_TRACE_ERROR, "Failure loading SCS support library", kInitFunction);
            Terminate();
            return status;
        }

        if (client) {
            status = SCS_CALL(SCS_Init)(kComponentVersion, initString1, initString2, traceLog);
            if (status != zavToolsLib::ZAV_OK) {
                snprintf(message, sizeof message, "SCS_Init(%s, %s, %s, 0x%08lx) failed",
                         kComponentVersion, OrNull(initString1), OrNull(initString2),
                         reinterpret_cast<unsigned long>(traceLog));
                Log(EQ_TRACE_ERROR, message, kInitFunction);
                Terminate();
                return status;
            }
            m_bClientInitialised = true;
            status = SCS_CALL(SCS_AddDestinationFiles)(localPropertyFile, commSettingsFile,
                                                       &m_iDestinationId);
            if (status != zavToolsLib::ZAV_OK) {
                snprintf(message, sizeof message,
                         "Unable to add default destination where local property file = '%s' "
                         "and comm settings file = '%s'",
                         OrNull(localPropertyFile), OrNull(commSettingsFile));
                Log(EQ_TRACE_ERROR, message, kInitFunction);
                Terminate();
                return status;
            }
        }

        if (server) {
            status =
                SCS_CALL(SCS_SERVER_Init)(kComponentVersion, initString1, initString2, traceLog);
            if (status != zavToolsLib::ZAV_OK) {
                snprintf(message, sizeof message, "SCS_SERVER_Init(%s, %s, %s, 0x%08lx) failed",
                         kComponentVersion, OrNull(initString1), OrNull(initString2),
                         reinterpret_cast<unsigned long>(traceLog));
                Log(EQ_TRACE_ERROR, message, kInitFunction);
                Terminate();
                return status;
            }
            m_bServerInitialised = true;
            status = SCS_CALL(SCS_SERVER_AddListenerFiles)(localPropertyFile, listenerSettingsFile,
                                                           &m_iListenerId);
            if (status != zavToolsLib::ZAV_OK) {
                snprintf(message, sizeof message,
                         "Unable to add default listener where local property file = '%s' and "
                         "listener settings file = '%s'",
                         OrNull(localPropertyFile), OrNull(listenerSettingsFile));
                Log(EQ_TRACE_ERROR, message, kInitFunction);
                Terminate();
                return status;
            }
        }

        m_pRetryState = retryState;
        status = retryState != nullptr ? retryState->Init(serviceType, this)
                                       : zavToolsLib::ZAV_E_INVALID_ARG;
        if (status != zavToolsLib::ZAV_OK) {
            Log(EQ_TRACE_ERROR, "Failed to initialize the retry state object", kInitFunction);
            Terminate();
            return status;
        }

        const uint32_t settingsStatus = LoadSettings(serviceType);
        if (settingsStatus != zavToolsLib::ZAV_OK) {
            Log(EQ_TRACE_WARNING, "Failed to load settings from local property file",
                kInitFunction);
        }
        if (m_pThreading == nullptr) {
            return settingsStatus;
        }

        status = StartThread();
        if (status != zavToolsLib::ZAV_OK) {
            Terminate();
        }
        return status;
    } catch (...) {
        Log(EQ_TRACE_ERROR, "Unexpected failure in base services initialization", kInitFunction);
        Terminate();
        return zavToolsLib::ZAV_E_EXCEPTION;
    }
}

uint32_t CBaseServices::CreateSyncObjects(const asThreadingTable* threading) {
    if (threading == nullptr) {
        return zavToolsLib::ZAV_OK;
    }
    // Stored first so that Terminate destroys whatever was created before a failure.
    m_pThreading = threading;
    uint32_t status = threading->CreateLock(AS_LOCK_RECURSIVE, &m_hLock);
    if (status == zavToolsLib::ZAV_OK) {
        status = threading->CreateEvent(0, 0, &m_hDispatchEvent);
    }
    if (status == zavToolsLib::ZAV_OK) {
        status = threading->CreateEvent(0, 0, &m_hExitEvent);
    }
    return status;
}

uint32_t CBaseServices::StartThread() {
    m_bStop = false;
    AddRef();  // the dispatch thread's reference
    const uint32_t status = m_pThreading->CreateThread(&_DispatchThread, this, &m_hThread);
    if (status != zavToolsLib::ZAV_OK) {
        // No thread to drop its reference: take it back without letting the count reach a
        // release that would delete the object under the creator.
        m_bStop = true;
        --m_iRefCount;
        m_hThread = 0;
    }
    return status;
}

// ---- Settings -------------------------------------------------------------------------------

uint32_t CBaseServices::LoadSettings(const std::string& serviceType) {
    if (m_iDestinationId != -1) {
        const uint32_t status = LoadDestinationSettings(m_iDestinationId, serviceType);
        if (status != zavToolsLib::ZAV_OK) {
            return status;
        }
    }
    if (m_iListenerId != -1) {
        return LoadListenerSettings(m_iListenerId, serviceType);
    }
    return zavToolsLib::ZAV_OK;
}

uint32_t CBaseServices::LoadDestinationSettings(int32_t destinationId,
                                                const std::string& serviceType) {
    // In the order of Timeout; milliseconds. A 0 of the first three hands the choice to the
    // component (its comm settings, or libcurl's DNS cache default); a shutdown always waits a
    // little, and never for weeks.
    struct TimeoutRange {
        const char* key;
        uint32_t minimum;
        uint32_t maximum;
    };
    static constexpr TimeoutRange kTimeoutRanges[kTimeoutCount] = {
        {"connectTimeout", 0, kMaxConnectTimeout},
        {"transferTimeout", 0, kMaxTransferTimeout},
        {"dnsCacheTimeout", 0, kMaxDnsCacheTimeout},
        {"shutdownTimeout", kMinShutdownTimeout, kMaxShutdownTimeout}};
    const char* section = zavServices::GetServiceSection(serviceType);
    for (uint32_t i = 0; i < kTimeoutCount; ++i) {
        const TimeoutRange& range = kTimeoutRanges[i];
        zavServices::RetrieveSettingInRange(destinationId, section, range.key, range.minimum,
                                            range.maximum, m_uTimeouts[i]);
    }
    return zavToolsLib::ZAV_OK;
}

uint32_t CBaseServices::LoadListenerSettings(int32_t /*listenerId*/,
                                             const std::string& /*serviceType*/) {
    return zavToolsLib::ZAV_OK;
}

// ---- Operations -----------------------------------------------------------------------------

uint32_t CBaseServices::ResetToPrimaryController() {
    if (m_pRetryState != nullptr) {
        // Under the lock: the dispatch thread reads and advances the same state.
        CLockGuard guard(*this);
        m_pRetryState->Reset();
    }
    if (m_pThreading != nullptr && m_hDispatchEvent != 0) {
        m_pThreading->SetEvent(m_hDispatchEvent);
    }
    return zavToolsLib::ZAV_OK;
}

uint32_t CBaseServices::TestCommSettings(uint32_t value1, uint32_t value2, const char* section) {
    return SCS_CALL(SCS_TestCommSettings)(value1, value2, section);
}

uint32_t CBaseServices::TestCommSettingsFile(uint32_t value1, uint32_t value2,
                                             const char* section) {
    return SCS_CALL(SCS_TestCommSettingsFile)(value1, value2, section);
}

uint32_t CBaseServices::DispatchPendingData() {
    try {
        uint32_t wait = kWaitForever;
        int32_t serverIndex = -1;
        {
            CLockGuard guard(*this);
            if (m_pRetryState != nullptr) {
                m_pRetryState->GetState(wait, serverIndex);
                m_pRetryState->SetDataPending(true);
            }
        }
        if (m_pThreading != nullptr) {
            // During a back-off the thread sends when the wait ends; only an idle thread needs
            // waking.
            if (wait == kWaitForever) {
                m_pThreading->SetEvent(m_hDispatchEvent);
            }
            return zavToolsLib::ZAV_OK;
        }
        if (serverIndex < 0) {
            return zavToolsLib::ZAV_E_NO_SERVER;
        }
        return SendPendingData(serverIndex);
    } catch (...) {
        return zavToolsLib::ZAV_E_EXCEPTION;
    }
}

void CBaseServices::OnRetryRequestFailed() {}

uint32_t CBaseServices::Terminate() {
    char message[128];
    uint32_t status = zavToolsLib::ZAV_OK;
    if (m_bServerInitialised) {
        m_bServerInitialised = false;
        if (m_iListenerId != -1) {
            if (SCS_CALL(SCS_SERVER_RemoveListener)(m_iListenerId) != zavToolsLib::ZAV_OK) {
                snprintf(message, sizeof message, "Unable to remove default listener %d",
                         m_iListenerId);
                Log(EQ_TRACE_WARNING, message, kInitFunction);
            }
            m_iListenerId = -1;
        }
        status = SCS_CALL(SCS_SERVER_ShutDown)();
    }
    if (m_bClientInitialised && m_bTransfersStopped) {
        // ShutDown has already let the component go.
        m_bClientInitialised = false;
        m_iDestinationId = -1;
    }
    if (m_bClientInitialised) {
        m_bClientInitialised = false;
        if (m_iDestinationId != -1) {
            if (SCS_CALL(SCS_RemoveDestination)(m_iDestinationId) != zavToolsLib::ZAV_OK) {
                snprintf(message, sizeof message, "Unable to remove default destination %d",
                         m_iDestinationId);
                Log(EQ_TRACE_WARNING, message, kInitFunction);
            }
            m_iDestinationId = -1;
        }
        status = SCS_CALL(SCS_ShutDown)();
    }
    if (m_pThreading != nullptr) {
        const asThreadingTable* threading = m_pThreading;
        m_pThreading = nullptr;
        if (m_hDispatchEvent != 0) {
            threading->SetEvent(m_hDispatchEvent);
            threading->DestroyEvent(m_hDispatchEvent);
        }
        if (m_hLock != 0) {
            threading->DestroyLock(m_hLock);
        }
        if (m_hExitEvent != 0) {
            threading->DestroyEvent(m_hExitEvent);
        }
        m_hDispatchEvent = 0;
        m_hLock = 0;
        m_hExitEvent = 0;
        m_hThread = 0;
    }
    return status;
}

// The count is atomic rather than guarded by the instance lock: the exported functions take
// their reference while the instance is being unpublished, and must not wait for the instance
// lock there (an error callback may hold it and call back into the library).
int32_t CBaseServices::AddRef() { return ++m_iRefCount; }

int32_t CBaseServices::Release() {
    const int32_t count = --m_iRefCount;
    if (count == 0) {
        Terminate();
        delete this;
    }
    return count;
}

void CBaseServices::RequestStop() {
    m_bStop = true;
    if (m_pThreading != nullptr) {
        m_pThreading->SetEvent(m_hDispatchEvent);
    }
}

void CBaseServices::ShutDown() {
    RequestStop();
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(m_uTimeouts[kShutdownTimeout]);
    // Shutting the component down now ends a post in progress (a slow or stalled server) within
    // moments instead of at its transfer timeout, so the dispatch thread can stop in time. The
    // caller holds a reference: Terminate cannot run meanwhile.
    if (m_bClientInitialised && !m_bTransfersStopped) {
        {
            // Calls of other threads into the component end first (unless they outlast the
            // timeout): none starts after it is let go.
            std::unique_lock<std::shared_timed_mutex> calls(m_componentUse, std::defer_lock);
            static_cast<void>(calls.try_lock_until(deadline));
            m_bTransfersStopped = true;
        }
        if (m_iDestinationId != -1 &&
            SCS_CALL(SCS_RemoveDestination)(m_iDestinationId) != zavToolsLib::ZAV_OK) {
            char message[128];
            snprintf(message, sizeof message, "Unable to remove default destination %d",
                     m_iDestinationId);
            Log(EQ_TRACE_WARNING, message, kInitFunction);
        }
        SCS_CALL(SCS_ShutDown)();
    }
    if (m_pThreading != nullptr) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        m_pThreading->WaitEvent(m_hExitEvent, static_cast<uint32_t>(std::max<int64_t>(
                                                  0, static_cast<int64_t>(left.count()))));
    }
}

// ---- Dispatch thread ------------------------------------------------------------------------

uint32_t CBaseServices::_DispatchThread(void* argument) {
    CBaseServices* self = static_cast<CBaseServices*>(argument);
    t_pDispatchingService = self;
    unsigned long threadId = 0;
    self->m_pThreading->GetCurrentThreadId(&threadId);
    char text[128];
    snprintf(text, sizeof text, "ProcessId = %d, ThreadId = %d", static_cast<int>(getpid()),
             static_cast<int>(threadId));
    const std::string threadText(text);
    self->Log(EQ_TRACE_DEBUG, ("Entering dispatch thread: " + threadText).c_str(), kThreadFunction);

    uint32_t result;
    try {
        result = self->RunDispatchLoop();
    } catch (...) {
        // The guards have already let go of the lock held by the failing step.
        self->Log(EQ_TRACE_DEBUG, "Unknown exception caught!", kThreadFunction);
        result = zavToolsLib::ZAV_E_EXCEPTION;
    }

    self->Log(EQ_TRACE_DEBUG, ("Exiting dispatch thread: " + threadText).c_str(), kThreadFunction);
    self->m_pThreading->SetEvent(self->m_hExitEvent);
    // The release may delete the object: keep what is signalled after it.
    const std::shared_ptr<CReleaseSignal> done = self->m_pDispatchDone;
    self->Release();
    // What the thread's posts left in the crypto library's per-thread state (its error queue, its
    // random generator) goes now, not when the thread ends: once done is set the host may exit,
    // and the crypto library's exit handler forgets the state of a thread still ending.
    OPENSSL_thread_stop();
    done->Set();
    return result;
}

uint32_t CBaseServices::RunDispatchLoop() {
    uint32_t wait = kWaitForever;
    int32_t serverIndex = -1;
    {
        CLockGuard guard(*this);
        m_pRetryState->NextState(zavToolsLib::ZAV_OK, wait, serverIndex);
    }

    uint32_t result = zavToolsLib::ZAV_OK;
    for (;;) {
        // Texts built only for a trace that writes them.
        const bool debug = zavToolsLib::LogEnabled(m_pTraceLog, EQ_TRACE_DEBUG);
        if (debug) {
            Log(EQ_TRACE_DEBUG,
                ("Waiting on dispatch event with timeout = " +
                 std::to_string(static_cast<int32_t>(wait)))
                    .c_str(),
                kThreadFunction);
        }
        if (m_bStop) {
            break;
        }
        // Signalled or timed out: either way it is time for an attempt.
        m_pThreading->WaitEvent(m_hDispatchEvent, wait);
        // cppcheck-suppress identicalConditionAfterEarlyExit ; Stop sets it during the wait
        if (m_bStop) {
            break;
        }
        if (serverIndex < 0) {
            Log(EQ_TRACE_DEBUG, "Cannot dispatch data. No server found.", kThreadFunction);
            result = zavToolsLib::ZAV_E_NO_SERVER;
        } else {
            if (debug) {
                Log(EQ_TRACE_DEBUG,
                    ("Dispatching data to server index #" + std::to_string(serverIndex)).c_str(),
                    kThreadFunction);
            }
            Log(EQ_TRACE_DEBUG, "Calling service SendPendingData.", kThreadFunction);
            result = SendPendingData(serverIndex);
            Log(EQ_TRACE_DEBUG, "Returned from service SendPendingData.", kThreadFunction);
        }
        if (m_bStop) {
            break;
        }
        CLockGuard guard(*this);
        m_pRetryState->NextState(result, wait, serverIndex);
    }
    return result;
}

// ---- Trace ----------------------------------------------------------------------------------

void CBaseServices::Log(uint32_t level, const char* message, const char* function) const {
    zavToolsLib::Log(m_pTraceLog, level, message, function);
}

void CBaseServices::TraceEnter(const char* function) const {
    Log(EQ_TRACE_FUNCTION, "--Function Entered", function);
}

void CBaseServices::TraceExit(const char* function) const {
    Log(EQ_TRACE_FUNCTION, "--Function Exited", function);
}
