#include "zavToolsLib/asThreadingDefault.h"

#include <cerrno>
#include <new>
#include <utility>

#include "zavToolsLib/zavStatus.h"

namespace zavToolsLib {

namespace {

constexpr uint32_t kStopWaitMs = 500;

// Skips 0 (no object), the process-wide lock and handles still in use after a wrap-around.
template <typename Map>
uint32_t nextHandle(uint32_t& uCounter, const Map& registry) {
    do {
        ++uCounter;
    } while (uCounter == 0 || uCounter == AS_PROCESS_LOCK || registry.count(uCounter) != 0);
    return uCounter;
}

uint32_t lockStatus(int rc) { return rc == 0 ? ZAV_OK : ZAV_E_EXCEPTION; }

}  // namespace

zavThreadingDefaultImpl& zavThreadingDefaultImpl::instance() {
    static zavThreadingDefaultImpl* const pInstance = new zavThreadingDefaultImpl();
    return *pInstance;
}

uint32_t zavThreadingDefaultImpl::createThread(asThreadFunction pFunction, void* pArgument,
                                               unsigned long* pThread) {
    if (pFunction == nullptr || pThread == nullptr) {
        return ZAV_E_INVALID_ARG;
    }
    reapFinishedThreads();

    auto pOwned = std::make_unique<_asThread>(pFunction, pArgument);
    _asThread* const pNew = pOwned.get();
    if (!pNew->isValid()) {
        return ZAV_E_OUT_OF_MEMORY;
    }
    {
        // Listed before it starts: nothing that can fail stands between start and the list.
        jsLock hold(m_threadsLock);
        m_threads.push_back(std::move(pOwned));
    }
    if (pNew->start()) {
        *pThread = pNew->lastThreadId();
        return ZAV_OK;
    }
    jsLock hold(m_threadsLock);
    for (auto it = m_threads.begin(); it != m_threads.end(); ++it) {
        if (it->get() == pNew) {
            m_threads.erase(it);
            break;
        }
    }
    return ZAV_E_EXCEPTION;
}

void zavThreadingDefaultImpl::relist(std::unique_ptr<_asThread> pThread) {
    try {
        jsLock hold(m_threadsLock);
        m_threads.push_back(std::move(pThread));
    } catch (...) {
        // Deleting a thread that still runs would pull its object from under it.
        if (pThread) {
            (void)pThread.release();
        }
    }
}

void zavThreadingDefaultImpl::reapFinishedThreads() {
    std::vector<std::unique_ptr<_asThread>> finished;
    {
        jsLock hold(m_threadsLock);
        for (auto it = m_threads.begin(); it != m_threads.end();) {
            if ((*it)->isFinished()) {
                finished.push_back(std::move(*it));
                it = m_threads.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& pThread : finished) {
        pThread->stop(kStopWaitMs, false);
        if (pThread->isRunning()) {
            relist(std::move(pThread));
        }
    }
}

uint32_t zavThreadingDefaultImpl::sleep(uint32_t uMilliseconds) {
    jsEvent never(true, false);
    never.wait(uMilliseconds);
    return ZAV_OK;
}

uint32_t zavThreadingDefaultImpl::createEvent(uint32_t uInitialState, uint32_t uManualReset,
                                              uint32_t* pEvent) {
    if (pEvent == nullptr || uInitialState > 1 || uManualReset > 1) {
        return ZAV_E_INVALID_ARG;
    }
    try {
        auto pNew = std::make_shared<jsEvent>(uInitialState == 0, uManualReset == 1);
        if (!pNew->isValid()) {
            return ZAV_E_OUT_OF_MEMORY;
        }
        jsLock hold(m_eventsLock);
        const uint32_t hEvent = nextHandle(m_uLastEvent, m_events);
        m_events.emplace(hEvent, std::move(pNew));
        *pEvent = hEvent;
        return ZAV_OK;
    } catch (const std::bad_alloc&) {
        return ZAV_E_OUT_OF_MEMORY;
    }
}

std::shared_ptr<jsEvent> zavThreadingDefaultImpl::findEvent(uint32_t hEvent) const {
    jsLock hold(m_eventsLock);
    auto it = m_events.find(hEvent);
    return it != m_events.end() ? it->second : nullptr;
}

uint32_t zavThreadingDefaultImpl::setEvent(uint32_t hEvent) {
    auto pEvent = findEvent(hEvent);
    if (!pEvent) {
        return ZAV_E_INVALID_ARG;
    }
    return pEvent->set() ? ZAV_OK : ZAV_E_EXCEPTION;
}

uint32_t zavThreadingDefaultImpl::resetEvent(uint32_t hEvent) {
    auto pEvent = findEvent(hEvent);
    if (!pEvent) {
        return ZAV_E_INVALID_ARG;
    }
    return pEvent->reset() ? ZAV_OK : ZAV_E_EXCEPTION;
}

uint32_t zavThreadingDefaultImpl::waitEvent(uint32_t hEvent, uint32_t uMilliseconds) {
    // Our reference keeps the event alive if it is destroyed while we wait.
    auto pEvent = findEvent(hEvent);
    if (!pEvent) {
        return ZAV_E_INVALID_ARG;
    }
    switch (pEvent->wait(uMilliseconds)) {
        case jsEvent::WaitResult::kSignalled:
            return ZAV_OK;
        case jsEvent::WaitResult::kTimedOut:
            return ZAV_I_TIMEOUT;
        default:
            return ZAV_E_EXCEPTION;
    }
}

uint32_t zavThreadingDefaultImpl::destroyEvent(uint32_t hEvent) {
    std::shared_ptr<jsEvent> pEvent;
    {
        jsLock hold(m_eventsLock);
        auto it = m_events.find(hEvent);
        if (it == m_events.end()) {
            return ZAV_E_INVALID_ARG;
        }
        pEvent = std::move(it->second);
        m_events.erase(it);
    }
    pEvent->close();
    return ZAV_OK;
}

uint32_t zavThreadingDefaultImpl::createLock(uint32_t uKind, uint32_t* pLock) {
    if (pLock == nullptr || uKind > AS_LOCK_FAST) {
        return ZAV_E_INVALID_ARG;
    }
    try {
        std::shared_ptr<jsSyncBase> pNew;
        if (uKind == AS_LOCK_PLAIN) {
            pNew = std::make_shared<jsSync>();
        } else if (uKind == AS_LOCK_RECURSIVE) {
            pNew = std::make_shared<jsRecursiveSync>();
        } else {
            pNew = std::make_shared<jsFastSync>();
        }
        if (!pNew->isValid()) {
            return ZAV_E_OUT_OF_MEMORY;
        }
        jsLock hold(m_locksLock);
        const uint32_t hLock = nextHandle(m_uLastLock, m_locks);
        m_locks.emplace(hLock, LockEntry{static_cast<uint8_t>(uKind), std::move(pNew)});
        *pLock = hLock;
        return ZAV_OK;
    } catch (const std::bad_alloc&) {
        return ZAV_E_OUT_OF_MEMORY;
    }
}

std::shared_ptr<jsSyncBase> zavThreadingDefaultImpl::findLock(uint32_t hLock) {
    if (hLock == AS_PROCESS_LOCK) {
        // Not owned by anyone: an aliasing pointer to the member.
        return std::shared_ptr<jsSyncBase>(std::shared_ptr<jsSyncBase>(), &m_processLock);
    }
    jsLock hold(m_locksLock);
    auto it = m_locks.find(hLock);
    return it != m_locks.end() ? it->second.pLock : nullptr;
}

uint32_t zavThreadingDefaultImpl::lock(uint32_t hLock) {
    auto pLock = findLock(hLock);
    if (!pLock) {
        return ZAV_E_INVALID_ARG;
    }
    return lockStatus(pLock->lock());
}

uint32_t zavThreadingDefaultImpl::tryLock(uint32_t hLock) {
    auto pLock = findLock(hLock);
    if (!pLock) {
        return ZAV_E_INVALID_ARG;
    }
    const int rc = pLock->tryLock();
    return rc == EBUSY ? ZAV_I_TIMEOUT : lockStatus(rc);
}

uint32_t zavThreadingDefaultImpl::unlock(uint32_t hLock) {
    auto pLock = findLock(hLock);
    if (!pLock) {
        return ZAV_E_INVALID_ARG;
    }
    return lockStatus(pLock->unlock());
}

uint32_t zavThreadingDefaultImpl::destroyLock(uint32_t hLock) {
    std::shared_ptr<jsSyncBase> pLock;
    {
        jsLock hold(m_locksLock);
        auto it = m_locks.find(hLock);
        if (it != m_locks.end()) {
            pLock = std::move(it->second.pLock);
            m_locks.erase(it);
        }
    }
    return ZAV_OK;  // pLock, if any, goes here: outside the registry lock
}

void zavThreadingDefaultImpl::teardown() {
    std::vector<std::unique_ptr<_asThread>> threads;
    {
        jsLock hold(m_threadsLock);
        threads.swap(m_threads);
    }
    for (auto& pThread : threads) {
        pThread->stop(1, false);
    }
    for (auto& pThread : threads) {
        pThread->stop(kStopWaitMs, true);
        if (pThread->isAbandoned()) {
            (void)pThread.release();  // the thread deletes it when its function returns
        }
    }

    std::map<uint32_t, std::shared_ptr<jsEvent>> events;
    {
        jsLock hold(m_eventsLock);
        events.swap(m_events);
    }
    for (auto& entry : events) {
        entry.second->close();
    }

    std::map<uint32_t, LockEntry> locks;
    jsLock hold(m_locksLock);
    locks.swap(m_locks);
}

size_t zavThreadingDefaultImpl::threadCount() const {
    jsLock hold(m_threadsLock);
    return m_threads.size();
}

namespace {

// Nothing thrown may reach the table's C callers.
template <typename Operation>
uint32_t guarded(Operation operation) noexcept {
    try {
        return operation(zavThreadingDefaultImpl::instance());
    } catch (const std::bad_alloc&) {
        return ZAV_E_OUT_OF_MEMORY;
    } catch (...) {
        return ZAV_E_EXCEPTION;
    }
}

uint32_t tableCreateThread(asThreadFunction pFunction, void* pArgument, unsigned long* pThread) {
    return guarded([&](zavThreadingDefaultImpl& impl) {
        return impl.createThread(pFunction, pArgument, pThread);
    });
}

uint32_t tableGetCurrentThreadId(unsigned long* pId) {
    if (pId == nullptr) {
        return ZAV_E_INVALID_ARG;
    }
    *pId = jsCurrentThreadId();
    return ZAV_OK;
}

uint32_t tableSleep(uint32_t uMilliseconds) {
    return guarded([&](zavThreadingDefaultImpl& impl) { return impl.sleep(uMilliseconds); });
}

uint32_t tableCreateEvent(uint32_t uInitialState, uint32_t uManualReset, uint32_t* pEvent) {
    return guarded([&](zavThreadingDefaultImpl& impl) {
        return impl.createEvent(uInitialState, uManualReset, pEvent);
    });
}

uint32_t tableSetEvent(uint32_t hEvent) {
    return guarded([&](zavThreadingDefaultImpl& impl) { return impl.setEvent(hEvent); });
}

uint32_t tableResetEvent(uint32_t hEvent) {
    return guarded([&](zavThreadingDefaultImpl& impl) { return impl.resetEvent(hEvent); });
}

uint32_t tableWaitEvent(uint32_t hEvent, uint32_t uMilliseconds) {
    return guarded(
        [&](zavThreadingDefaultImpl& impl) { return impl.waitEvent(hEvent, uMilliseconds); });
}

uint32_t tableReserved7(uint32_t, uint32_t, uint32_t, uint32_t) { return ZAV_E_NOT_SUPPORTED; }

uint32_t tableDestroyEvent(uint32_t hEvent) {
    return guarded([&](zavThreadingDefaultImpl& impl) { return impl.destroyEvent(hEvent); });
}

uint32_t tableCreateLock(uint32_t uKind, uint32_t* pLock) {
    return guarded([&](zavThreadingDefaultImpl& impl) { return impl.createLock(uKind, pLock); });
}

uint32_t tableLock(uint32_t hLock) {
    return guarded([&](zavThreadingDefaultImpl& impl) { return impl.lock(hLock); });
}

uint32_t tableTryLock(uint32_t hLock) {
    return guarded([&](zavThreadingDefaultImpl& impl) { return impl.tryLock(hLock); });
}

uint32_t tableUnlock(uint32_t hLock) {
    return guarded([&](zavThreadingDefaultImpl& impl) { return impl.unlock(hLock); });
}

uint32_t tableDestroyLock(uint32_t hLock) {
    return guarded([&](zavThreadingDefaultImpl& impl) { return impl.destroyLock(hLock); });
}

uint32_t tableReserved() { return ZAV_E_NOT_SUPPORTED; }

// Constant-initialised, so usable from any other library's static initialisation.
constexpr asThreadingTable kDefaultTable = {
    tableCreateThread, tableGetCurrentThreadId, tableSleep,     tableCreateEvent,
    tableSetEvent,     tableResetEvent,         tableWaitEvent, tableReserved7,
    tableDestroyEvent, tableCreateLock,         tableLock,      tableTryLock,
    tableUnlock,       tableDestroyLock,        tableReserved,  tableReserved,
    tableReserved,     tableReserved,           tableReserved,  tableReserved,
};

// Builds the instance when the library is loaded and tears it down when it is unloaded. A failed
// build at load must not end the host: the first call through the table tries again and reports
// ZAV_E_OUT_OF_MEMORY.
class DefaultThreadingLifetime {
public:
    DefaultThreadingLifetime() noexcept {
        try {
            zavThreadingDefaultImpl::instance();
        } catch (...) {
        }
    }
    ~DefaultThreadingLifetime() {
        try {
            zavThreadingDefaultImpl::instance().teardown();
        } catch (...) {
        }
    }
    DefaultThreadingLifetime(const DefaultThreadingLifetime&) = delete;
    DefaultThreadingLifetime& operator=(const DefaultThreadingLifetime&) = delete;
};

const DefaultThreadingLifetime g_defaultThreadingLifetime;

}  // namespace

const asThreadingTable* zavGetDefaultThreadingTable() { return &kDefaultTable; }

}  // namespace zavToolsLib
