// Locks on POSIX threads and jsLock, the scoped guard over them. Operations return 0 or an errno
// value; unlock leaves the caller's errno as it was.
#pragma once

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zavToolsLib {

// The calling thread's POSIX id as a number; never 0.
unsigned long jsCurrentThreadId();

class jsSyncBase {
public:
    virtual ~jsSyncBase() = default;
    jsSyncBase(const jsSyncBase&) = delete;
    jsSyncBase& operator=(const jsSyncBase&) = delete;

    bool isValid() const { return m_bValid; }
    // While disabled every operation does nothing and succeeds.
    void setEnabled(bool bEnabled) { m_bEnabled = bEnabled; }
    bool isEnabled() const { return m_bEnabled; }
    // Thread holding the lock, 0 when free.
    unsigned long owner() const { return m_uOwner.load(); }

    int lock();
    int tryLock();  // EBUSY when another thread holds the lock
    int unlock();   // EINVAL when the caller does not hold the lock

protected:
    jsSyncBase() = default;
    virtual int doLock() = 0;
    virtual int doTryLock() = 0;
    virtual int doUnlock() = 0;

    bool m_bValid = true;
    std::atomic<unsigned long> m_uOwner{0};
    std::atomic<bool> m_bEnabled{true};
};

// Recursive: the owner may take it again and must release it as often. A guard mutex protects
// owner and count; the inner mutex is held for as long as somebody owns the lock.
class jsRecursiveSync : public jsSyncBase {
public:
    jsRecursiveSync() = default;

protected:
    int doLock() override;
    int doTryLock() override;
    int doUnlock() override;

private:
    int acquire(bool bWait);

    std::mutex m_guard;
    std::condition_variable m_released;  // waiters sleep here instead of spinning on the guard
    std::mutex m_inner;
    uint16_t m_uCount = 0;
};

// The threading table's plain lock: the same owner-and-count lock.
class jsSync final : public jsRecursiveSync {};

// One non-recursive mutex. It checks errors, so taking it twice fails instead of hanging.
class jsFastSync final : public jsSyncBase {
public:
    jsFastSync();
    ~jsFastSync() override;

protected:
    int doLock() override;
    int doTryLock() override;
    int doUnlock() override;

private:
    pthread_mutex_t m_mutex;
};

// Holds a lock for its lifetime; unlock() gives it up early and only once.
class jsLock {
public:
    explicit jsLock(jsSyncBase& sync) : m_sync(sync), m_bLocked(sync.lock() == 0) {}
    ~jsLock() { unlock(); }
    jsLock(const jsLock&) = delete;
    jsLock& operator=(const jsLock&) = delete;

    bool isLocked() const { return m_bLocked.load(); }
    void unlock() {
        // Read and clear in one step: an early unlock() racing the destructor unlocks once.
        if (m_bLocked.exchange(false)) {
            m_sync.unlock();
        }
    }

private:
    jsSyncBase& m_sync;
    std::atomic<bool> m_bLocked;
};

}  // namespace zavToolsLib
