#include "zavToolsLib/jssync.h"

#include <cerrno>
#include <type_traits>

namespace zavToolsLib {

static_assert(std::is_same_v<pthread_t, unsigned long>,
              "thread ids are handed out as unsigned long");

unsigned long jsCurrentThreadId() { return static_cast<unsigned long>(pthread_self()); }

int jsSyncBase::lock() {
    if (!m_bEnabled) {
        return 0;
    }
    return m_bValid ? doLock() : EINVAL;
}

int jsSyncBase::tryLock() {
    if (!m_bEnabled) {
        return 0;
    }
    return m_bValid ? doTryLock() : EINVAL;
}

int jsSyncBase::unlock() {
    if (!m_bEnabled) {
        return 0;
    }
    // Callers unlock on their way out of failed calls and still want to read their errno.
    const int savedErrno = errno;
    const int rc = m_bValid ? doUnlock() : EINVAL;
    errno = savedErrno;
    return rc;
}

int jsRecursiveSync::acquire(bool bWait) {
    const unsigned long self = jsCurrentThreadId();
    std::unique_lock<std::mutex> guard(m_guard);
    for (;;) {
        const unsigned long owner = m_uOwner.load();
        if (owner == 0) {
            m_uCount = 1;
            m_uOwner = self;
            // Free means nobody holds the inner mutex, so this does not block. Taken after the
            // guard is released, so that the two are never acquired in both orders.
            guard.unlock();
            m_inner.lock();
            return 0;
        }
        if (owner == self) {
            if (m_uCount == UINT16_MAX) {
                return EAGAIN;
            }
            ++m_uCount;
            return 0;
        }
        if (!bWait) {
            return EBUSY;
        }
        m_released.wait(guard);
    }
}

int jsRecursiveSync::doLock() { return acquire(true); }

int jsRecursiveSync::doTryLock() { return acquire(false); }

int jsRecursiveSync::doUnlock() {
    const unsigned long self = jsCurrentThreadId();
    std::lock_guard<std::mutex> guard(m_guard);
    if (m_uOwner.load() != self) {
        return EINVAL;
    }
    if (--m_uCount == 0) {
        m_uOwner = 0;
        m_inner.unlock();
        m_released.notify_one();
    }
    return 0;
}

jsFastSync::jsFastSync() {
    pthread_mutexattr_t attr;
    m_bValid = pthread_mutexattr_init(&attr) == 0;
    if (!m_bValid) {
        return;
    }
    m_bValid = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ERRORCHECK) == 0 &&
               pthread_mutex_init(&m_mutex, &attr) == 0;
    pthread_mutexattr_destroy(&attr);
}

jsFastSync::~jsFastSync() {
    if (m_bValid) {
        pthread_mutex_destroy(&m_mutex);
    }
}

int jsFastSync::doLock() {
    const int rc = pthread_mutex_lock(&m_mutex);
    if (rc == 0) {
        m_uOwner = jsCurrentThreadId();
    }
    return rc;
}

int jsFastSync::doTryLock() {
    const int rc = pthread_mutex_trylock(&m_mutex);
    if (rc == 0) {
        m_uOwner = jsCurrentThreadId();
    }
    return rc;
}

int jsFastSync::doUnlock() {
    if (m_uOwner.load() != jsCurrentThreadId()) {
        return EINVAL;
    }
    m_uOwner = 0;
    return pthread_mutex_unlock(&m_mutex);
}

}  // namespace zavToolsLib
