// The toolkit's own threading table: registries from handles to threads, events and locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "zavToolsLib/asThreading.h"
#include "zavToolsLib/jsevent.h"
#include "zavToolsLib/jssync.h"
#include "zavToolsLib/jsthread.h"

namespace zavToolsLib {

class zavThreadingDefaultImpl {
public:
    // The instance behind the table. Built when the library is loaded and torn down when it is
    // unloaded, but never freed: a thread still running at that point finds empty registries
    // rather than freed memory.
    static zavThreadingDefaultImpl& instance();

    zavThreadingDefaultImpl() = default;
    ~zavThreadingDefaultImpl() { teardown(); }
    zavThreadingDefaultImpl(const zavThreadingDefaultImpl&) = delete;
    zavThreadingDefaultImpl& operator=(const zavThreadingDefaultImpl&) = delete;

    uint32_t createThread(asThreadFunction pFunction, void* pArgument, unsigned long* pThread);
    uint32_t sleep(uint32_t uMilliseconds);
    uint32_t createEvent(uint32_t uInitialState, uint32_t uManualReset, uint32_t* pEvent);
    uint32_t setEvent(uint32_t hEvent);
    uint32_t resetEvent(uint32_t hEvent);
    uint32_t waitEvent(uint32_t hEvent, uint32_t uMilliseconds);
    uint32_t destroyEvent(uint32_t hEvent);
    uint32_t createLock(uint32_t uKind, uint32_t* pLock);
    uint32_t lock(uint32_t hLock);
    uint32_t tryLock(uint32_t hLock);
    uint32_t unlock(uint32_t hLock);
    uint32_t destroyLock(uint32_t hLock);

    // Stops every listed thread (abandoning those that will not end), then destroys every event,
    // releasing its waiters, and every lock. The registries stay usable afterwards.
    void teardown();

    // Threads still listed, finished or not (for tests).
    size_t threadCount() const;
    // The event behind a handle, or null (for tests).
    std::shared_ptr<jsEvent> findEvent(uint32_t hEvent) const;

private:
    struct LockEntry {
        uint8_t uKind;
        std::shared_ptr<jsSyncBase> pLock;
    };

    std::shared_ptr<jsSyncBase> findLock(uint32_t hLock);
    void reapFinishedThreads();
    void relist(std::unique_ptr<_asThread> pThread);

    // Registry locks are held only to look up, insert or remove, never while waiting.
    mutable jsFastSync m_threadsLock;
    std::vector<std::unique_ptr<_asThread>> m_threads;
    mutable jsFastSync m_eventsLock;
    std::map<uint32_t, std::shared_ptr<jsEvent>> m_events;
    uint32_t m_uLastEvent = 1;  // incremented before use: the first event is 2
    mutable jsFastSync m_locksLock;
    std::map<uint32_t, LockEntry> m_locks;
    uint32_t m_uLastLock = 1;
    jsRecursiveSync m_processLock;  // AS_PROCESS_LOCK
};

// The table over the one process-wide instance.
const asThreadingTable* zavGetDefaultThreadingTable();

}  // namespace zavToolsLib
