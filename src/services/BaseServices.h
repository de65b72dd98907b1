// CBaseServices: base of a client service. Owns the service's link to the session configuration
// component (client and/or server side, default destination and listener), reads its timeouts,
// and runs one dispatch thread that calls SendPendingData for the server the retry state picks.
//
// Reference counted: Init gives the dispatch thread a reference; ShutDown stops the thread (waiting
// at most shutdownTimeout), and the last Release runs Terminate and deletes the object. Without a
// threading table the service is synchronous: no lock, no events, no thread, and
// DispatchPendingData sends in the caller's thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "services/svcRetryState.h"
#include "zavEventQuerySvcs.h"
#include "zavToolsLib/asThreading.h"

class CBaseServices {
public:
    // Indexes of the timeouts block handed to SCS_PostData.
    enum Timeout : uint32_t {
        kConnectTimeout = 0,
        kTransferTimeout = 1,
        kDnsCacheTimeout = 2,
        kShutdownTimeout = 3,
        kTimeoutCount = 4
    };
    // Accepted ranges of the timeouts in milliseconds (documented in scs/README.md).
    static constexpr uint32_t kMaxConnectTimeout = 600000;     // 10 minutes
    static constexpr uint32_t kMaxTransferTimeout = 3600000;   // 1 hour
    static constexpr uint32_t kMaxDnsCacheTimeout = 86400000;  // 1 day
    static constexpr uint32_t kMinShutdownTimeout = 100;
    static constexpr uint32_t kMaxShutdownTimeout = 600000;  // 10 minutes

    // Holds the instance lock for a scope (does nothing in synchronous mode).
    class CLockGuard {
    public:
        explicit CLockGuard(const CBaseServices& services);
        ~CLockGuard();
        CLockGuard(const CLockGuard&) = delete;
        CLockGuard& operator=(const CLockGuard&) = delete;

    private:
        const asThreadingTable* m_pThreading;
        uint32_t m_hLock;
        bool m_bLocked;
    };

    CBaseServices();
    virtual ~CBaseServices();

    CBaseServices(const CBaseServices&) = delete;
    CBaseServices& operator=(const CBaseServices&) = delete;

    // Client and/or server side; the comm settings file also serves as the listener settings.
    // Returns 0 or the failing status; on failure the object is already terminated.
    virtual uint32_t Init(const std::string& serviceType, svcRetryState* retryState,
                          const asThreadingTable* threading, const asTraceLog* traceLog,
                          const char* version, const char* localPropertyFile,
                          const char* commSettingsFile, const char* initString1,
                          const char* initString2, bool client, bool server);
    // Both sides, with a separate listener settings file.
    virtual uint32_t Init(const std::string& serviceType, svcRetryState* retryState,
                          const asThreadingTable* threading, const asTraceLog* traceLog,
                          const char* version, const char* localPropertyFile,
                          const char* commSettingsFile, const char* listenerSettingsFile,
                          const char* initString1, const char* initString2);
    virtual uint32_t ResetToPrimaryController();
    virtual uint32_t TestCommSettings(uint32_t value1, uint32_t value2, const char* section);
    virtual uint32_t TestCommSettingsFile(uint32_t value1, uint32_t value2, const char* section);
    // Called by the derived class after it queued work.
    virtual uint32_t DispatchPendingData();
    // Called from the retry state (dispatch thread, instance lock held) when a request is given up.
    virtual void OnRetryRequestFailed();
    virtual uint32_t Terminate();
    virtual uint32_t LoadSettings(const std::string& serviceType);
    virtual uint32_t LoadDestinationSettings(int32_t destinationId, const std::string& serviceType);
    virtual uint32_t LoadListenerSettings(int32_t listenerId, const std::string& serviceType);
    // Sends the queued work to the given server; runs in the dispatch thread without the lock.
    virtual uint32_t SendPendingData(int32_t serverIndex) = 0;

    int32_t AddRef();
    int32_t Release();
    // Asks the dispatch thread to stop without waiting for it (safe from inside that thread).
    void RequestStop();
    void ShutDown();

    // Instance lock (recursive); both return the threading table's status, 0 when synchronous.
    uint32_t Lock() const;
    uint32_t Unlock() const;

    void Log(uint32_t level, const char* message, const char* function) const;
    void TraceEnter(const char* function) const;
    void TraceExit(const char* function) const;

    int32_t GetDestinationId() const { return m_iDestinationId; }
    int32_t GetListenerId() const { return m_iListenerId; }
    const asTraceLog* GetTraceLog() const { return m_pTraceLog; }
    const asThreadingTable* GetThreading() const { return m_pThreading; }
    svcRetryState* GetRetryState() const { return m_pRetryState; }
    // The four timeouts, in the order of Timeout, for SCS_PostData.
    const uint32_t* GetTimeouts() const { return m_uTimeouts; }
    const std::string& GetClientVersion() const { return m_strClientVersion; }
    bool IsStopping() const { return m_bStop.load(); }
    // Runs call (which calls into the component) and returns true, unless ShutDown has let the
    // component go (by then it may serve the next session): then returns false without calling.
    // ShutDown waits for such calls in progress, within shutdownTimeout.
    template <class Call>
    bool CallComponent(Call&& call) const {
        std::shared_lock<std::shared_timed_mutex> use(m_componentUse);
        if (m_bTransfersStopped) {
            return false;
        }
        call();
        return true;
    }
    // True in the service's own dispatch thread (for example inside a callback it runs).
    bool IsDispatchThread() const;

    // Set once the object is gone and has unloaded the component. Whoever gives up the object
    // keeps a copy, so it can wait for the last reference (often the dispatch thread's) to go
    // before, say, the process exits.
    class CReleaseSignal {
    public:
        void Set();
        // False when the deadline passed first.
        bool WaitUntil(std::chrono::steady_clock::time_point deadline);

    private:
        std::mutex m_mutex;
        std::condition_variable m_condition;
        bool m_bSet = false;
    };
    std::shared_ptr<CReleaseSignal> GetReleaseSignal() const { return m_pReleased; }
    // Set once the dispatch thread has dropped its reference and is on its way out; null when no
    // dispatch thread was started. Other references (calls in progress elsewhere) do not count.
    std::shared_ptr<CReleaseSignal> GetDispatchDoneSignal() const {
        return m_hThread != 0 ? m_pDispatchDone : nullptr;
    }

protected:
    // Body of the dispatch thread; the argument is the service object.
    static uint32_t _DispatchThread(void* argument);

    bool m_bClientInitialised = false;
    // ShutDown has removed the destination and shut the client side of the component down.
    std::atomic<bool> m_bTransfersStopped{false};
    // Held shared by CallComponent, exclusively by ShutDown while it sets m_bTransfersStopped.
    mutable std::shared_timed_mutex m_componentUse;
    bool m_bServerInitialised = false;
    svcRetryState* m_pRetryState = nullptr;
    int32_t m_iDestinationId = -1;
    int32_t m_iListenerId = -1;
    const asThreadingTable* m_pThreading = nullptr;
    const asTraceLog* m_pTraceLog = nullptr;
    uint32_t m_hLock = 0;
    uint32_t m_hDispatchEvent = 0;
    unsigned long m_hThread = 0;
    uint32_t m_hExitEvent = 0;
    std::atomic<bool> m_bStop{true};
    // connectTimeout, transferTimeout, dnsCacheTimeout, shutdownTimeout (milliseconds).
    uint32_t m_uTimeouts[kTimeoutCount] = {0, 0, 60000, 30000};
    std::atomic<int32_t> m_iRefCount{0};
    std::string m_strClientVersion;

private:
    uint32_t InitServices(const std::string& serviceType, svcRetryState* retryState,
                          const asThreadingTable* threading, const asTraceLog* traceLog,
                          const char* version, const char* localPropertyFile,
                          const char* commSettingsFile, const char* listenerSettingsFile,
                          const char* initString1, const char* initString2, bool client,
                          bool server);
    uint32_t CreateSyncObjects(const asThreadingTable* threading);
    uint32_t StartThread();
    uint32_t RunDispatchLoop();

    // The component was loaded by Init, so the destructor owes an unload.
    bool m_bComponentLoaded = false;
    std::shared_ptr<CReleaseSignal> m_pReleased = std::make_shared<CReleaseSignal>();
    std::shared_ptr<CReleaseSignal> m_pDispatchDone = std::make_shared<CReleaseSignal>();
};
