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
#include <tuple>

#include "zavToolsLib/asThreadingDefault.h"
#include "zavToolsLib/zavStatus.h"

using namespace zavToolsLib;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

namespace {

constexpr uint32_t kLongWait = 10000;  // bounds a wait that a fault would leave hanging

const asThreadingTable& table() { return *zavGetDefaultThreadingTable(); }

// TryLock from another thread.
uint32_t tryInOtherThread(const asThreadingTable& t, uint32_t h) {
    uint32_t result = 0;
    std::thread([&] { result = t.TryLock(h); }).join();
    return result;
}

// Returns once n threads are inside WaitEvent on the event: signals then land during the wait.
void awaitWaiters(uint32_t hEvent, uint32_t n) {
    auto pEvent = zavThreadingDefaultImpl::instance().findEvent(hEvent);
    while (pEvent->waiters() < n) std::this_thread::yield();
}

}  // namespace

TEST(EventTable, DeadlineCarriesIntoSeconds) {
    // 0xFFFFFFFF ms is 4294967.295 s, about 49.7 days.
    for (const auto& [from, ms, sec, nsec] :
         {std::tuple{timeval{100, 999999}, 1u, 101L, 999000L},
          {timeval{100, 800000}, 0xFFFFFFFFu, 100L + 4294967 + 1, 95000000L},
          {timeval{100, 0}, 0u, 100L, 0L}}) {
        const timespec d = jsEventDeadline(from, ms);
        EXPECT_EQ(sec, d.tv_sec);
        EXPECT_EQ(nsec, d.tv_nsec);
    }
}

TEST(EventTable, AutoResetConsumesTheSignal) {
    const asThreadingTable& t = table();
    uint32_t h = 0, hSet = 0;
    ASSERT_EQ(ZAV_OK, t.CreateEvent(0, 0, &h));
    EXPECT_EQ(ZAV_I_TIMEOUT, t.WaitEvent(h, 0));
    const auto start = steady_clock::now();
    EXPECT_EQ(ZAV_I_TIMEOUT, t.WaitEvent(h, 30));
    EXPECT_GE(steady_clock::now() - start, milliseconds(25));  // waited, never ends early

    EXPECT_EQ(ZAV_OK, t.SetEvent(h));
    EXPECT_EQ(ZAV_OK, t.WaitEvent(h, 0));
    EXPECT_EQ(ZAV_I_TIMEOUT, t.WaitEvent(h, 0));
    EXPECT_EQ(ZAV_OK, t.SetEvent(h));
    EXPECT_EQ(ZAV_OK, t.ResetEvent(h));
    EXPECT_EQ(ZAV_I_TIMEOUT, t.WaitEvent(h, 0));

    // Signalled while the waiter waits, on the longest time-out there is.
    std::thread setter([&] { awaitWaiters(h, 1), t.SetEvent(h); });
    EXPECT_EQ(ZAV_OK, t.WaitEvent(h, 0xFFFFFFFFu));
    setter.join();
    EXPECT_EQ(ZAV_I_TIMEOUT, t.WaitEvent(h, 0));

    ASSERT_EQ(ZAV_OK, t.CreateEvent(1, 0, &hSet));
    EXPECT_EQ(ZAV_OK, t.WaitEvent(hSet, 0));
    EXPECT_EQ(ZAV_I_TIMEOUT, t.WaitEvent(hSet, 0));
    EXPECT_EQ(ZAV_OK, t.DestroyEvent(h));
    EXPECT_EQ(ZAV_OK, t.DestroyEvent(hSet));
}

// Setting a manual-reset event, or destroying any event, releases every waiter.
TEST(EventTable, ManualResetSetAndDestroyWakeEveryWaiter) {
    const asThreadingTable& t = table();
    for (bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroy" : "set");
        uint32_t h = 0;
        ASSERT_EQ(ZAV_OK, t.CreateEvent(0, destroy ? 0 : 1, &h));
        std::atomic<uint32_t> woken{0};
        auto waiter = [&] { woken += t.WaitEvent(h, kLongWait) == ZAV_OK; };
        std::thread first(waiter), second(waiter);
        awaitWaiters(h, 2);
        EXPECT_EQ(ZAV_OK, destroy ? t.DestroyEvent(h) : t.SetEvent(h));
        first.join();
        second.join();
        EXPECT_EQ(2u, woken.load());
        // A destroyed handle is unknown; a manual-reset event stays set until reset.
        const uint32_t gone = ZAV_E_INVALID_ARG;
        EXPECT_EQ(destroy ? gone : ZAV_OK, t.WaitEvent(h, 0));
        EXPECT_EQ(destroy ? gone : ZAV_OK, t.ResetEvent(h));
        EXPECT_EQ(destroy ? gone : ZAV_I_TIMEOUT, t.WaitEvent(h, 0));
        EXPECT_EQ(destroy ? gone : ZAV_OK, t.DestroyEvent(h));
    }
}

TEST(LockTable, LocksAcrossThreads) {
    const asThreadingTable& t = table();
    for (uint32_t kind : {AS_LOCK_PLAIN, AS_LOCK_RECURSIVE, AS_LOCK_FAST, AS_PROCESS_LOCK}) {
        SCOPED_TRACE(kind);
        uint32_t h = AS_PROCESS_LOCK;
        if (kind != AS_PROCESS_LOCK) {
            ASSERT_EQ(ZAV_OK, t.CreateLock(kind, &h));
        }
        // All but the fast lock are recursive and need as many unlocks; the fast one fails
        // instead of hanging.
        const bool fast = kind == AS_LOCK_FAST;
        ASSERT_EQ(ZAV_OK, t.Lock(h));
        ASSERT_EQ(fast ? ZAV_E_EXCEPTION : ZAV_OK, t.Lock(h));
        EXPECT_EQ(ZAV_I_TIMEOUT, tryInOtherThread(t, h));
        EXPECT_EQ(ZAV_OK, fast ? ZAV_OK : t.Unlock(h));
        EXPECT_EQ(ZAV_I_TIMEOUT, tryInOtherThread(t, h));

        // A second thread blocks in Lock until the last unlock, then holds it.
        jsEvent got{true, true}, letGo{true, true};
        std::thread holder([&] {
            t.Lock(h);
            got.set();
            letGo.wait(kLongWait);
            t.Unlock(h);
        });
        EXPECT_EQ(jsEvent::WaitResult::kTimedOut, got.wait(0));
        EXPECT_EQ(ZAV_OK, t.Unlock(h));
        EXPECT_EQ(jsEvent::WaitResult::kSignalled, got.wait(kLongWait));

        errno = EDOM;
        EXPECT_EQ(ZAV_E_EXCEPTION, t.Unlock(h));  // not the owner
        EXPECT_EQ(EDOM, errno);
        EXPECT_EQ(ZAV_I_TIMEOUT, t.TryLock(h));
        letGo.set();
        holder.join();

        EXPECT_EQ(ZAV_OK, t.TryLock(h));
        EXPECT_EQ(ZAV_OK, t.Unlock(h));
        EXPECT_EQ(ZAV_E_EXCEPTION, t.Unlock(h));
        EXPECT_EQ(ZAV_OK, t.DestroyLock(h));  // the process-wide lock survives this
    }
    EXPECT_EQ(ZAV_OK, t.Lock(AS_PROCESS_LOCK));
    EXPECT_EQ(ZAV_OK, t.Unlock(AS_PROCESS_LOCK));
}

TEST(LockTable, UnknownHandlesAndBadArguments) {
    const asThreadingTable& t = table();
    for (uint32_t h : {0u, 0x7FFFFFF0u}) {
        for (auto call : {t.SetEvent, t.ResetEvent, t.DestroyEvent, t.Lock, t.TryLock, t.Unlock}) {
            EXPECT_EQ(ZAV_E_INVALID_ARG, call(h));
        }
        EXPECT_EQ(ZAV_E_INVALID_ARG, t.WaitEvent(h, 0));
        EXPECT_EQ(ZAV_OK, t.DestroyLock(h));
    }
    uint32_t h = 0;
    unsigned long id = 0;
    for (uint32_t status :
         {t.CreateEvent(2, 0, &h), t.CreateEvent(0, 2, &h), t.CreateEvent(0, 0, nullptr),
          t.CreateLock(3, &h), t.CreateLock(0, nullptr), t.CreateThread(nullptr, nullptr, &id),
          t.GetCurrentThreadId(nullptr)}) {
        EXPECT_EQ(ZAV_E_INVALID_ARG, status);
    }
    EXPECT_EQ(0u, h);
}

TEST(ThreadTable, CreateThreadRunsTheFunctionAndReapsFinishedThreads) {
    static unsigned long uId = 0;
    static uint32_t hDone = 0;
    auto record = [](void*) -> uint32_t {
        table().GetCurrentThreadId(&uId);
        return table().SetEvent(hDone);
    };
    zavThreadingDefaultImpl impl;
    ASSERT_EQ(ZAV_OK, table().CreateEvent(0, 0, &hDone));
    for (int i = 0; i < 20; ++i) {
        unsigned long uHandle = 0;
        ASSERT_EQ(ZAV_OK, impl.createThread(record, nullptr, &uHandle));
        ASSERT_EQ(ZAV_OK, table().WaitEvent(hDone, kLongWait));
        EXPECT_EQ(uHandle, uId);
        EXPECT_NE(jsCurrentThreadId(), uId);
    }
    // Every creation first clears away the threads that have finished.
    EXPECT_LT(impl.threadCount(), 5u);
    table().DestroyEvent(hDone);
}

TEST(ThreadTable, ProcessExitWithARunningThreadAndExceptionsInThreads) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Teardown at exit abandons a thread that will not end; the thread keeps using the table.
    static uint32_t hEvents[2] = {0, 0};  // started, never set
    auto outlive = [](void*) -> uint32_t {
        table().SetEvent(hEvents[0]);
        table().WaitEvent(hEvents[1], 0xFFFFFFFFu);
        table().Lock(AS_PROCESS_LOCK);
        return table().Unlock(AS_PROCESS_LOCK);
    };
    unsigned long uId = 0;
    EXPECT_EXIT(
        {
            table().CreateEvent(0, 0, &hEvents[0]);
            table().CreateEvent(0, 0, &hEvents[1]);
            table().CreateThread(outlive, nullptr, &uId);
            table().WaitEvent(hEvents[0], kLongWait);
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
    auto throwing = [](void*) -> uint32_t { throw std::runtime_error("boom"); };
    EXPECT_DEATH(
        {
            table().CreateThread(throwing, nullptr, &uId);
            table().Sleep(kLongWait);
        },
        "Exception detected in _asThread-instance thread: boom");
}

TEST(ThreadTable, TeardownAbandonsAThreadThatWillNotEnd) {
    struct Gates {
        std::atomic<long> iKernelId{0};
        jsEvent started{true, true}, release{true, true};
    };
    // The thread shares the gates with the test, which may be gone by the time it returns.
    auto waitForTheGate = [](void* pArgument) -> uint32_t {
        const std::unique_ptr<std::shared_ptr<Gates>> pGates(
            static_cast<std::shared_ptr<Gates>*>(pArgument));
        (*pGates)->iKernelId = syscall(SYS_gettid);
        (*pGates)->started.set();
        (*pGates)->release.wait(kLongWait);
        return 0;
    };
    auto pGates = std::make_shared<Gates>();
    auto pImpl = std::make_unique<zavThreadingDefaultImpl>();
    unsigned long uId = 0;
    ASSERT_EQ(ZAV_OK,
              pImpl->createThread(waitForTheGate, new std::shared_ptr<Gates>(pGates), &uId));
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
