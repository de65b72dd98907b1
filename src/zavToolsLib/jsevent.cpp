#include "zavToolsLib/jsevent.h"

#include <cerrno>
#include <ctime>

namespace zavToolsLib {

namespace {

class MutexHold {
public:
    explicit MutexHold(pthread_mutex_t& mutex)
        : m_mutex(mutex), m_bHeld(pthread_mutex_lock(&mutex) == 0) {}
    ~MutexHold() {
        if (m_bHeld) {
            pthread_mutex_unlock(&m_mutex);
        }
    }
    MutexHold(const MutexHold&) = delete;
    MutexHold& operator=(const MutexHold&) = delete;
    bool held() const { return m_bHeld; }

private:
    pthread_mutex_t& m_mutex;
    bool m_bHeld;
};

}  // namespace

timespec jsEventDeadline(const timeval& now, uint32_t uTimeoutMs) {
    timespec deadline{};
    deadline.tv_sec = now.tv_sec + static_cast<time_t>(uTimeoutMs / 1000);
    deadline.tv_nsec =
        static_cast<long>(now.tv_usec) * 1000 + static_cast<long>(uTimeoutMs % 1000) * 1000000;
    if (deadline.tv_nsec > 999999999) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000;
    }
    return deadline;
}

jsEventImpl::jsEventImpl(bool bInitiallyReset, bool bManualReset)
    : m_bSignalled(!bInitiallyReset), m_bManualReset(bManualReset) {
    m_bCondInit = pthread_cond_init(&m_cond, nullptr) == 0;
    m_bMutexInit = pthread_mutex_init(&m_mutex, nullptr) == 0;
    m_bValid = m_bCondInit && m_bMutexInit;
}

jsEventImpl::~jsEventImpl() {
    if (m_bCondInit) {
        pthread_cond_destroy(&m_cond);
    }
    if (m_bMutexInit) {
        pthread_mutex_destroy(&m_mutex);
    }
}

bool jsEventImpl::set() {
    MutexHold hold(m_mutex);
    if (!hold.held()) {
        return false;
    }
    m_bSignalled = true;
    int rc = m_bManualReset ? pthread_cond_broadcast(&m_cond) : pthread_cond_signal(&m_cond);
    return rc == 0;
}

bool jsEventImpl::reset() {
    MutexHold hold(m_mutex);
    if (!hold.held()) {
        return false;
    }
    if (!m_bClosed) {
        m_bSignalled = false;
    }
    return true;
}

void jsEventImpl::close() {
    if (!m_bValid) {
        return;
    }
    MutexHold hold(m_mutex);
    m_bClosed = true;
    m_bSignalled = true;
    pthread_cond_broadcast(&m_cond);
}

jsEventImpl::WaitResult jsEventImpl::wait(uint32_t uTimeoutMs) {
    if (m_bManualReset && m_bSignalled) {
        return kSignalled;
    }
    // pthread_cond_timedwait measures its deadline on the time of day by default.
    timeval now{};
    gettimeofday(&now, nullptr);
    const timespec deadline = jsEventDeadline(now, uTimeoutMs);
    MutexHold hold(m_mutex);
    if (!hold.held()) {
        return kFailed;
    }
    ++m_uWaiters;
    WaitResult result = kSignalled;
    for (;;) {
        if (m_bSignalled) {
            if (!m_bManualReset && !m_bClosed) {
                m_bSignalled = false;
            }
            break;
        }
        if (uTimeoutMs == 0) {
            // A poll. The timed wait would sleep even on a deadline already passed, until the
            // kernel's timer slack runs out: some 50 to 80 microseconds on every zero wait.
            result = kTimedOut;
            break;
        }
        int rc = pthread_cond_timedwait(&m_cond, &m_mutex, &deadline);
        if (rc == EBUSY || rc == ETIME || rc == ETIMEDOUT) {
            result = kTimedOut;
            break;
        }
        if (rc != 0) {
            result = kFailed;
            break;
        }
    }
    --m_uWaiters;
    return result;
}

jsEvent::jsEvent(bool bInitiallyReset, bool bManualReset) : m_impl(bInitiallyReset, bManualReset) {}

jsEvent::WaitResult jsEvent::wait(uint32_t uTimeoutMs) {
    return isValid() ? m_impl.wait(uTimeoutMs) : jsEventImpl::kFailed;
}

}  // namespace zavToolsLib
