// An event on POSIX threads: auto-reset (a wait consumes the signal) or manual-reset (signalled
// until reset).
#pragma once

#include <pthread.h>
#include <sys/time.h>
#include <time.h>

#include <atomic>
#include <cstdint>

namespace zavToolsLib {

// The absolute deadline of a wait that starts at now, on the time of day.
timespec jsEventDeadline(const timeval& now, uint32_t uTimeoutMs);

class jsEventImpl {
public:
    enum WaitResult { kSignalled = 0, kTimedOut = 1, kFailed = 2 };

    jsEventImpl(bool bInitiallyReset, bool bManualReset);
    ~jsEventImpl();
    jsEventImpl(const jsEventImpl&) = delete;
    jsEventImpl& operator=(const jsEventImpl&) = delete;

    bool isValid() const { return m_bValid; }
    bool set();
    bool reset();
    WaitResult wait(uint32_t uTimeoutMs);
    void close();
    uint32_t waiters() const { return m_uWaiters.load(); }

private:
    pthread_cond_t m_cond;
    pthread_mutex_t m_mutex;
    std::atomic<bool> m_bSignalled;
    const bool m_bManualReset;
    bool m_bClosed = false;
    bool m_bValid = false;
    bool m_bCondInit = false;
    bool m_bMutexInit = false;
    std::atomic<uint32_t> m_uWaiters{0};
};

class jsEvent {
public:
    using WaitResult = jsEventImpl::WaitResult;

    // The event starts signalled unless bInitiallyReset.
    jsEvent(bool bInitiallyReset, bool bManualReset);

    bool isValid() const { return m_bValid && m_impl.isValid(); }
    bool set() { return isValid() && m_impl.set(); }
    bool reset() { return isValid() && m_impl.reset(); }
    // The time-out is counted from now on the time of day; 0xFFFFFFFF is about 49.7 days.
    WaitResult wait(uint32_t uTimeoutMs);
    // Leaves the event signalled for good and wakes every waiter, auto-reset or not: done before
    // the event is forgotten so that nobody keeps waiting on an event that can no longer be set.
    void close() { m_impl.close(); }
    // Threads inside wait() right now (for diagnostics and tests).
    uint32_t waiters() const { return m_impl.waiters(); }

private:
    jsEventImpl m_impl;
    bool m_bValid = true;
};

}  // namespace zavToolsLib
