// The threading table: events, locks, handles and CreateThread.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

#include "zavToolsLib/asThreadingDefault.h"
#include "zavToolsLib/zavStatus.h"

using namespace zavToolsLib;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

namespace {

constexpr uint32_t kLongWait = 10000;  // bounds a wait that a fault would leave hanging

const asThreadingTable& table() { return *zavGetDefaultThreadingTable(); }

// Runs fn in another thread and returns its result.
template <typename Fn>
uint32_t inOtherThread(Fn fn) {
    uint32_t result = 0;
    std::thread other([&] { result = fn(); });
    other.join();
    return result;
}

// Returns once n threads are inside WaitEvent on the event: signals then land during the wait.
void awaitWaiters(uint32_t hEvent, uint32_t n) {
    auto pEvent = zavThreadingDefaultImpl::instance().findEvent(hEvent);
    ASSERT_TRUE(pEvent);
    while (pEvent->waiters() < n) {
        std::this_thread::yield();
    }
}

}  // namespace

TEST(EventTable, DeadlineCarriesIntoSeconds) {
    timespec d = jsEventDeadline(timeval{100, 999999}, 1);
    EXPECT_EQ(101, d.tv_sec);
    EXPECT_EQ(999000, d.tv_nsec);
    d = jsEventDeadline(timeval{100, 800000}, 0xFFFFFFFFu);  // 4294967.295 s, about 49.7 days
    EXPECT_EQ(100 + 4294967 + 1, d.tv_sec);
    EXPECT_EQ(95000000, d.tv_nsec);
    d = jsEventDeadline(timeval{100, 0}, 0);
    EXPECT_EQ(100, d.tv_sec);
    EXPECT_EQ(0, d.tv_nsec);
}

TEST(EventTable, AutoResetConsumesTheSignal) {
    const asThreadingTable& t = table();
    uint32_t h = 0;
    ASSERT_EQ(ZAV_OK, t.CreateEvent(0, 0, &h));
    EXPECT_EQ(ZAV_I_TIMEOUT, t.WaitEvent(h, 0));
    const auto start = steady_clock::now();
    EXPECT_EQ(ZAV_I_TIMEOUT, t.WaitEvent(h, 30));
    const auto elapsed = steady_clock::now() - start;
    EXPECT_GE(elapsed, milliseconds(25));
    EXPECT_LT(elapsed, milliseconds(5000));

    EXPECT_EQ(ZAV_OK, t.SetEvent(h));
    EXPECT_EQ(ZAV_OK, t.WaitEvent(h, 0));
    EXPECT_EQ(ZAV_I_TIMEOUT, t.WaitEvent(h, 0));
    EXPECT_EQ(ZAV_OK, t.SetEvent(h));
    EXPECT_EQ(ZAV_OK, t.ResetEvent(h));
    EXPECT_EQ(ZAV_I_TIMEOUT, t.WaitEvent(h, 0));

    // Signalled while the waiter waits, on the longest time-out there is.
    std::thread setter([&] {
        awaitWaiters(h, 1);
        t.SetEvent(h);
    });
    EXPECT_EQ(ZAV_OK, t.WaitEvent(h, 0xFFFFFFFFu));
    setter.join();
    EXPECT_EQ(ZAV_I_TIMEOUT, t.WaitEvent(h, 0));

    uint32_t hSet = 0;
    ASSERT_EQ(ZAV_OK, t.CreateEvent(1, 0, &hSet));
    EXPECT_EQ(ZAV_OK, t.WaitEvent(hSet, 0));
    EXPECT_EQ(ZAV_I_TIMEOUT, t.WaitEvent(hSet, 0));
    EXPECT_EQ(ZAV_OK, t.DestroyEvent(h));
    EXPECT_EQ(ZAV_OK, t.DestroyEvent(hSet));
}

TEST(EventTable, ManualResetReleasesEveryWaiterUntilReset) {
    const asThreadingTable& t = table();
    uint32_t h = 0;
    ASSERT_EQ(ZAV_OK, t.CreateEvent(0, 1, &h));
    std::atomic<uint32_t> woken{0};
    auto waiter = [&] {
        if (t.WaitEvent(h, kLongWait) == ZAV_OK) {
            ++woken;
        }
    };
    std::thread first(waiter), second(waiter);
    awaitWaiters(h, 2);
    EXPECT_EQ(ZAV_OK, t.SetEvent(h));
    first.join();
    second.join();
    EXPECT_EQ(2u, woken.load());
    EXPECT_EQ(ZAV_OK, t.WaitEvent(h, 0));
    EXPECT_EQ(ZAV_OK, t.ResetEvent(h));
    EXPECT_EQ(ZAV_I_TIMEOUT, t.WaitEvent(h, 0));
    EXPECT_EQ(ZAV_OK, t.DestroyEvent(h));
}

TEST(EventTable, DestroyWakesEveryWaiterAndForgetsTheHandle) {
    const asThreadingTable& t = table();
    uint32_t h = 0;
    ASSERT_EQ(ZAV_OK, t.CreateEvent(0, 0, &h));
    std::atomic<uint32_t> woken{0};
    auto waiter = [&] {
        if (t.WaitEvent(h, kLongWait) == ZAV_OK) {
            ++woken;
        }
    };
    std::thread first(waiter), second(waiter);
    awaitWaiters(h, 2);
    EXPECT_EQ(ZAV_OK, t.DestroyEvent(h));
    first.join();
    second.join();
    EXPECT_EQ(2u, woken.load());
    EXPECT_EQ(ZAV_E_INVALID_ARG, t.WaitEvent(h, 0));
    EXPECT_EQ(ZAV_E_INVALID_ARG, t.DestroyEvent(h));
}

TEST(LockTable, RecursiveLocksNeedAsManyUnlocks) {
    const asThreadingTable& t = table();
    for (uint32_t kind : {AS_LOCK_PLAIN, AS_LOCK_RECURSIVE, AS_PROCESS_LOCK}) {
        SCOPED_TRACE(kind);
        uint32_t h = AS_PROCESS_LOCK;
        if (kind != AS_PROCESS_LOCK) {
            ASSERT_EQ(ZAV_OK, t.CreateLock(kind, &h));
        }
        ASSERT_EQ(ZAV_OK, t.Lock(h));
        ASSERT_EQ(ZAV_OK, t.Lock(h));
        EXPECT_EQ(ZAV_I_TIMEOUT, inOtherThread([&] { return t.TryLock(h); }));
        EXPECT_EQ(ZAV_OK, t.Unlock(h));
        EXPECT_EQ(ZAV_I_TIMEOUT, inOtherThread([&] { return t.TryLock(h); }));

        // A second thread blocks in Lock until the last unlock, then holds it.
        uint32_t hGot = 0, hLetGo = 0;
        ASSERT_EQ(ZAV_OK, t.CreateEvent(0, 1, &hGot));
        ASSERT_EQ(ZAV_OK, t.CreateEvent(0, 1, &hLetGo));
        std::thread holder([&] {
            t.Lock(h);
            t.SetEvent(hGot);
            t.WaitEvent(hLetGo, kLongWait);
            t.Unlock(h);
        });
        EXPECT_EQ(ZAV_I_TIMEOUT, t.WaitEvent(hGot, 0));
        EXPECT_EQ(ZAV_OK, t.Unlock(h));
        EXPECT_EQ(ZAV_OK, t.WaitEvent(hGot, kLongWait));

        errno = EDOM;
        EXPECT_EQ(ZAV_E_EXCEPTION, t.Unlock(h));  // not the owner
        EXPECT_EQ(EDOM, errno);
        EXPECT_EQ(ZAV_I_TIMEOUT, t.TryLock(h));
        t.SetEvent(hLetGo);
        holder.join();

        EXPECT_EQ(ZAV_OK, t.TryLock(h));
        EXPECT_EQ(ZAV_OK, t.Unlock(h));
        EXPECT_EQ(ZAV_E_EXCEPTION, t.Unlock(h));
        EXPECT_EQ(ZAV_OK, t.DestroyLock(h));  // the process-wide lock survives this
        t.DestroyEvent(hGot);
        t.DestroyEvent(hLetGo);
    }
    EXPECT_EQ(ZAV_OK, t.Lock(AS_PROCESS_LOCK));
    EXPECT_EQ(ZAV_OK, t.Unlock(AS_PROCESS_LOCK));
}

TEST(LockTable, FastLockIsNotRecursive) {
    const asThreadingTable& t = table();
    uint32_t h = 0;
    ASSERT_EQ(ZAV_OK, t.CreateLock(AS_LOCK_FAST, &h));
    ASSERT_EQ(ZAV_OK, t.Lock(h));
    EXPECT_EQ(ZAV_E_EXCEPTION, t.Lock(h));  // fails instead of hanging
    EXPECT_EQ(ZAV_I_TIMEOUT, inOtherThread([&] { return t.TryLock(h); }));
    EXPECT_EQ(ZAV_E_EXCEPTION, inOtherThread([&] { return t.Unlock(h); }));
    EXPECT_EQ(ZAV_OK, t.Unlock(h));
    EXPECT_EQ(ZAV_OK, inOtherThread([&] {
                  const uint32_t status = t.TryLock(h);
                  return status != ZAV_OK ? status : t.Unlock(h);
              }));
    EXPECT_EQ(ZAV_OK, t.DestroyLock(h));
}

TEST(LockTable, UnknownHandlesAndBadArguments) {
    const asThreadingTable& t = table();
    for (uint32_t h : {0u, 0x7FFFFFF0u}) {
        EXPECT_EQ(ZAV_E_INVALID_ARG, t.SetEvent(h));
        EXPECT_EQ(ZAV_E_INVALID_ARG, t.ResetEvent(h));
        EXPECT_EQ(ZAV_E_INVALID_ARG, t.WaitEvent(h, 0));
        EXPECT_EQ(ZAV_E_INVALID_ARG, t.DestroyEvent(h));
        EXPECT_EQ(ZAV_E_INVALID_ARG, t.Lock(h));
        EXPECT_EQ(ZAV_E_INVALID_ARG, t.TryLock(h));
        EXPECT_EQ(ZAV_E_INVALID_ARG, t.Unlock(h));
        EXPECT_EQ(ZAV_OK, t.DestroyLock(h));
    }
    uint32_t h = 0;
    EXPECT_EQ(ZAV_E_INVALID_ARG, t.CreateEvent(2, 0, &h));
    EXPECT_EQ(ZAV_E_INVALID_ARG, t.CreateEvent(0, 2, &h));
    EXPECT_EQ(ZAV_E_INVALID_ARG, t.CreateEvent(0, 0, nullptr));
    EXPECT_EQ(ZAV_E_INVALID_ARG, t.CreateLock(3, &h));
    EXPECT_EQ(ZAV_E_INVALID_ARG, t.CreateLock(0, nullptr));
    EXPECT_EQ(0u, h);
    unsigned long id = 0;
    EXPECT_EQ(ZAV_E_INVALID_ARG, t.CreateThread(nullptr, nullptr, &id));
    EXPECT_EQ(ZAV_E_INVALID_ARG, t.GetCurrentThreadId(nullptr));
    EXPECT_EQ(ZAV_E_NOT_SUPPORTED, t.Reserved7(0, 0, 0, 0));
    for (auto reserved :
         {t.Reserved14, t.Reserved15, t.Reserved16, t.Reserved17, t.Reserved18, t.Reserved19}) {
        EXPECT_EQ(ZAV_E_NOT_SUPPORTED, reserved());
    }
}

TEST(LockTable, HandlesStartAtTwoPerRegistry) {
    zavThreadingDefaultImpl impl;
    uint32_t h = 0;
    ASSERT_EQ(ZAV_OK, impl.createEvent(0, 0, &h));
    EXPECT_EQ(2u, h);
    ASSERT_EQ(ZAV_OK, impl.createLock(AS_LOCK_FAST, &h));
    EXPECT_EQ(2u, h);
    ASSERT_EQ(ZAV_OK, impl.createEvent(1, 1, &h));
    EXPECT_EQ(3u, h);
}

namespace {

struct Probe {
    unsigned long uId = 0;
    uint32_t hDone = 0;
};

uint32_t recordThreadId(void* pArgument) {
    auto* pProbe = static_cast<Probe*>(pArgument);
    table().GetCurrentThreadId(&pProbe->uId);
    table().SetEvent(pProbe->hDone);
    return 0;
}

}  // namespace

TEST(ThreadTable, CreateThreadRunsTheFunctionAndReapsFinishedThreads) {
    zavThreadingDefaultImpl impl;
    Probe probe;
    ASSERT_EQ(ZAV_OK, table().CreateEvent(0, 0, &probe.hDone));
    for (int i = 0; i < 20; ++i) {
        unsigned long uHandle = 0;
        ASSERT_EQ(ZAV_OK, impl.createThread(&recordThreadId, &probe, &uHandle));
        ASSERT_EQ(ZAV_OK, table().WaitEvent(probe.hDone, kLongWait));
        EXPECT_EQ(uHandle, probe.uId);
        EXPECT_NE(jsCurrentThreadId(), probe.uId);
    }
    // Every creation first clears away the threads that have finished.
    EXPECT_LT(impl.threadCount(), 5u);
    table().DestroyEvent(probe.hDone);
}

namespace {

// Waits until teardown destroys its event, then keeps using the table on its way out.
uint32_t outliveTheProcess(void* pEvents) {
    const uint32_t* phEvents = static_cast<uint32_t*>(pEvents);  // started, never set
    table().SetEvent(phEvents[0]);
    table().WaitEvent(phEvents[1], 0xFFFFFFFFu);
    table().Lock(AS_PROCESS_LOCK);
    table().Unlock(AS_PROCESS_LOCK);
    return 0;
}

void exitWhileAThreadRuns() {
    static uint32_t hEvents[2] = {0, 0};
    unsigned long uId = 0;
    table().CreateEvent(0, 0, &hEvents[0]);
    table().CreateEvent(0, 0, &hEvents[1]);
    table().CreateThread(&outliveTheProcess, hEvents, &uId);
    table().WaitEvent(hEvents[0], kLongWait);
    std::exit(0);
}

uint32_t throwFromTheThread(void*) { throw std::runtime_error("boom"); }

}  // namespace

TEST(ThreadTable, ProcessExitWithARunningThreadAndExceptionsInThreads) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Teardown at exit abandons the thread that will not end; the thread keeps using the table.
    EXPECT_EXIT(exitWhileAThreadRuns(), testing::ExitedWithCode(0), "");
    EXPECT_DEATH(
        {
            unsigned long uId = 0;
            table().CreateThread(&throwFromTheThread, nullptr, &uId);
            table().Sleep(kLongWait);
        },
        "Exception detected in _asThread-instance thread: boom");
}

namespace {

struct Gates {
    std::atomic<long> iKernelId{0};
    jsEvent started{true, true};
    jsEvent release{true, true};
};

uint32_t waitForTheGate(void* pArgument) {
    // Shares the gates with the test, which may be gone by the time this returns.
    const std::unique_ptr<std::shared_ptr<Gates>> pShared(
        static_cast<std::shared_ptr<Gates>*>(pArgument));
    Gates& gates = **pShared;
    gates.iKernelId = syscall(SYS_gettid);
    gates.started.set();
    gates.release.wait(kLongWait);
    return 0;
}

}  // namespace

TEST(ThreadTable, TeardownAbandonsAThreadThatWillNotEnd) {
    auto pGates = std::make_shared<Gates>();
    auto pImpl = std::make_unique<zavThreadingDefaultImpl>();
    unsigned long uId = 0;
    ASSERT_EQ(ZAV_OK,
              pImpl->createThread(&waitForTheGate, new std::shared_ptr<Gates>(pGates), &uId));
    ASSERT_EQ(jsEvent::WaitResult::kSignalled, pGates->started.wait(kLongWait));
    const auto start = steady_clock::now();
    pImpl->teardown();
    EXPECT_GE(steady_clock::now() - start, milliseconds(450));
    EXPECT_EQ(0u, pImpl->threadCount());
    pImpl.reset();
    // The thread now returns into its abandoned object, which it must find alive and then free.
    pGates->release.set();
    // Nothing to wait on for the end of a detached thread but its entry under /proc.
    const std::string task = "/proc/self/task/" + std::to_string(pGates->iKernelId.load());
    const auto deadline = steady_clock::now() + milliseconds(kLongWait);
    while (access(task.c_str(), F_OK) == 0 && steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    EXPECT_NE(0, access(task.c_str(), F_OK));
}
