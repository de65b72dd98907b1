#include "zavToolsLib/jsthread.h"

#include <pthread.h>
#include <syslog.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>

#include "zavToolsLib/jsevent.h"
#include "zavToolsLib/jssync.h"

namespace zavToolsLib {

namespace {

int posixPriority(int iLevel) {
    switch (iLevel) {
        case 0:
            return 31;
        case 1:
            return 47;
        case 3:
            return 79;
        case 4:
            return 126;
        default:
            return 63;
    }
}

// Set rather than inherited from the host's stack limit, which may be small or unlimited: the
// dispatch thread reads answers up to the deepest the reading limits allow and runs the
// application's callbacks.
constexpr size_t kThreadStackSize = size_t{8} * 1024 * 1024;

class ThreadAttributes {
public:
    ThreadAttributes() : m_bValid(pthread_attr_init(&m_attr) == 0) {
        m_bValid = m_bValid && pthread_attr_setdetachstate(&m_attr, PTHREAD_CREATE_DETACHED) == 0 &&
                   pthread_attr_setscope(&m_attr, PTHREAD_SCOPE_SYSTEM) == 0 &&
                   pthread_attr_setstacksize(&m_attr, kThreadStackSize) == 0;
    }
    ~ThreadAttributes() { pthread_attr_destroy(&m_attr); }
    ThreadAttributes(const ThreadAttributes&) = delete;
    ThreadAttributes& operator=(const ThreadAttributes&) = delete;
    bool isValid() const { return m_bValid; }
    const pthread_attr_t* get() const { return &m_attr; }

private:
    pthread_attr_t m_attr;
    bool m_bValid;
};

}  // namespace

// The state a running thread needs. Shared between the facade and the thread body, so that it
// outlives a facade whose thread was abandoned.
class jsThreadImpl : public std::enable_shared_from_this<jsThreadImpl> {
public:
    jsThreadImpl(jsThread* pOwner, const char* pszName, int iPriority)
        : m_pOwner(pOwner), m_strName(pszName != nullptr ? pszName : ""), m_iPriority(iPriority) {}

    bool isValid() const { return m_stopEvent.isValid() && m_exitEvent.isValid(); }
    bool start();
    bool stop(uint32_t uTimeoutMs, bool bKill);
    void kill();

    jsThread* const m_pOwner;
    jsEvent m_stopEvent{true, false};  // auto-reset
    jsEvent m_exitEvent{true, true};   // manual reset, set when the thread has ended
    const std::string m_strName;
    std::atomic<bool> m_bStopRequested{false};
    std::atomic<unsigned long> m_uThreadId{0};
    // Recorded only: threads inherit the creator's scheduling, whose default policy has no
    // static priorities.
    const int m_iPriority;
    std::atomic<bool> m_bStarted{false};
    std::atomic<uint32_t> m_uExitCode{jsThread::kExitCodeRunning};
    std::atomic<bool> m_bAbandoned{false};
    std::atomic<unsigned long> m_uLastThreadId{0};

private:
    static void* threadMain(void* pArgument);
    void body();

    std::mutex m_mutex;  // orders start, kill and the end of the thread body
    bool m_bKilled = false;
};

bool jsThreadImpl::start() {
    std::lock_guard<std::mutex> hold(m_mutex);
    if (m_uThreadId != 0) {
        // Still running; or it killed itself and is on its way out, which cannot be restarted yet.
        return m_uExitCode == jsThread::kExitCodeRunning;
    }
    m_uExitCode = jsThread::kExitCodeRunning;
    m_bKilled = false;
    m_bAbandoned = false;
    m_bStopRequested = false;
    m_stopEvent.reset();
    m_exitEvent.reset();
    m_bStarted = false;

    ThreadAttributes attributes;
    if (!attributes.isValid()) {
        return false;
    }
    auto pBodyRef = std::make_unique<std::shared_ptr<jsThreadImpl>>(shared_from_this());
    pthread_t tid{};
    if (pthread_create(&tid, attributes.get(), &jsThreadImpl::threadMain, pBodyRef.get()) != 0) {
        return false;
    }
    (void)pBodyRef.release();  // now the thread's
    // The body cannot end before this is recorded: it takes m_mutex to leave.
    m_uThreadId = tid;
    m_uLastThreadId = tid;
    return true;
}

void* jsThreadImpl::threadMain(void* pArgument) {
    std::unique_ptr<std::shared_ptr<jsThreadImpl>> pBodyRef(
        static_cast<std::shared_ptr<jsThreadImpl>*>(pArgument));
    const std::shared_ptr<jsThreadImpl> impl = std::move(*pBodyRef);
    pBodyRef.reset();
    impl->body();
    return nullptr;
}

void jsThreadImpl::body() {
    const unsigned long self = jsCurrentThreadId();
    {
        // Wait until start() has recorded our id: kill() from inside run() compares with it.
        std::lock_guard<std::mutex> hold(m_mutex);
    }
    m_bStarted = true;
    syslog(LOG_DEBUG, "Started thread '%s' with ID %lu", m_strName.c_str(), self);

    uint32_t uCode = 0;
    try {
        uCode = m_pOwner->run();
    } catch (const std::exception& e) {
        syslog(LOG_ERR, "Exception detected in %s thread: %s", m_strName.c_str(), e.what());
        std::abort();
    } catch (...) {
        syslog(LOG_ERR, "Exception detected in %s thread: %s", m_strName.c_str(),
               "Unhandled Exception");
        std::abort();
    }

    jsThread* pOrphan = nullptr;
    {
        // start() never replaces a recorded id, so the state is still this run's.
        std::lock_guard<std::mutex> hold(m_mutex);
        if (m_bKilled) {
            uCode = jsThread::kExitCodeKilled;
        }
        m_uExitCode = uCode;
        syslog(LOG_DEBUG, "Thread '%s' with ID %lu exited with code %lu", m_strName.c_str(), self,
               static_cast<unsigned long>(uCode));
        m_uThreadId = 0;
        m_exitEvent.set();
        if (m_bAbandoned) {
            pOrphan = m_pOwner;
        }
    }
    delete pOrphan;  // nobody else may touch an abandoned facade
}

bool jsThreadImpl::stop(uint32_t uTimeoutMs, bool bKill) {
    const std::shared_ptr<jsThreadImpl> keep = shared_from_this();
    m_bStopRequested = true;
    m_stopEvent.set();
    bool bEnded = false;
    if (m_uThreadId != 0 && m_bStarted && uTimeoutMs != 0) {
        bEnded = m_exitEvent.wait(uTimeoutMs) == jsEvent::WaitResult::kSignalled;
    } else {
        bEnded = m_uThreadId == 0;
    }
    if (bEnded || !bKill) {
        return false;
    }
    kill();
    return true;
}

void jsThreadImpl::kill() {
    const std::shared_ptr<jsThreadImpl> keep = shared_from_this();
    const unsigned long self = jsCurrentThreadId();
    std::lock_guard<std::mutex> hold(m_mutex);
    const unsigned long tid = m_uThreadId;
    if (tid == self) {
        // Ending ourselves here would skip the destructors of everything on our stack: the body
        // turns this into the exit code once run() returns.
        m_bKilled = true;
        m_uExitCode = jsThread::kExitCodeKilled;
        return;
    }
    if (tid != 0 && !m_bAbandoned) {
        syslog(LOG_DEBUG, "Killing thread %lu from %lu", tid, self);
        m_bAbandoned = true;  // the body deletes the facade when run() returns
    }
}

jsThread::jsThread(const char* pszName, int iPriorityLevel)
    : m_pImpl(std::make_shared<jsThreadImpl>(this, pszName, posixPriority(iPriorityLevel))) {
    m_bValid = m_pImpl->isValid();
}

jsThread::~jsThread() = default;

bool jsThread::isValid() const { return m_bValid; }

bool jsThread::start() { return m_bValid && m_pImpl->start(); }

bool jsThread::stop(uint32_t uTimeoutMs, bool bKill) {
    // The impl may lose its last owner while stopping (the thread deletes an abandoned facade).
    const std::shared_ptr<jsThreadImpl> impl = m_pImpl;
    return impl->stop(uTimeoutMs, bKill);
}

void jsThread::kill() {
    const std::shared_ptr<jsThreadImpl> impl = m_pImpl;
    impl->kill();
}

bool jsThread::isRunning() const { return m_pImpl->m_uThreadId != 0; }

bool jsThread::isStarted() const { return m_pImpl->m_bStarted; }

bool jsThread::isAbandoned() const { return m_pImpl->m_bAbandoned; }

bool jsThread::stopRequested() const { return m_pImpl->m_bStopRequested; }

bool jsThread::waitForStop(uint32_t uTimeoutMs) {
    if (!m_pImpl->m_bStopRequested) {
        m_pImpl->m_stopEvent.wait(uTimeoutMs);
    }
    return m_pImpl->m_bStopRequested;
}

uint32_t jsThread::exitCode() const { return m_pImpl->m_uExitCode; }

unsigned long jsThread::threadId() const { return m_pImpl->m_uThreadId; }

unsigned long jsThread::lastThreadId() const { return m_pImpl->m_uLastThreadId; }

const std::string& jsThread::name() const { return m_pImpl->m_strName; }

int jsThread::priority() const { return m_pImpl->m_iPriority; }

_asThread::_asThread(asThreadFunction pFunction, void* pArgument)
    : jsThread("_asThread-instance", 2), m_pFunction(pFunction), m_pArgument(pArgument) {}

uint32_t _asThread::run() {
    uint32_t uResult = 0;
    try {
        uResult = m_pFunction(m_pArgument);
    } catch (...) {
        reportException();
    }
    m_bFinished = true;
    return uResult;
}

bool _asThread::isFinished() const { return m_bFinished; }

void _asThread::reportException() {
    try {
        throw;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Exception detected in %s thread: %s\n", name().c_str(), e.what());
        throw;
    } catch (...) {
        std::fprintf(stderr, "Exception detected in %s thread: %s\n", name().c_str(),
                     "Unhandled Exception");
        throw;
    }
}

}  // namespace zavToolsLib
