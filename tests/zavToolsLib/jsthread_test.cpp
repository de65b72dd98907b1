// jsThread start, stop and kill, and the jsLock guard.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <utility>

#include "zavToolsLib/jsevent.h"
#include "zavToolsLib/jssync.h"
#include "zavToolsLib/jsthread.h"

using namespace zavToolsLib;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

namespace {

constexpr uint32_t kLongWait = 10000;

// Runs until asked to stop, or, with a gate, until the gate opens whatever it is asked. Shares
// the events with the test: an abandoned thread may use them after the test has returned.
class TestThread : public jsThread {
public:
    explicit TestThread(std::shared_ptr<jsEvent> pGate = nullptr,
                        std::shared_ptr<jsEvent> pDestroyed = nullptr)
        : jsThread("test", 2), m_pGate(std::move(pGate)), m_pDestroyed(std::move(pDestroyed)) {}
    ~TestThread() override {
        if (m_pDestroyed) {
            m_pDestroyed->set();
        }
    }

    uint32_t run() override {
        ++m_iRuns;
        m_running.set();
        if (m_pGate) {
            m_pGate->wait(kLongWait);
        } else {
            waitForStop(kLongWait);
        }
        return 7;
    }

    jsEvent m_running{true, false};
    std::atomic<int> m_iRuns{0};

private:
    std::shared_ptr<jsEvent> m_pGate;
    std::shared_ptr<jsEvent> m_pDestroyed;
};

class SelfKillingThread : public jsThread {
public:
    SelfKillingThread() : jsThread("self-killing", 2) {}
    uint32_t run() override {
        m_running.set();
        m_bKillResult = stop(0, true);
        return 7;
    }
    jsEvent m_running{true, false};
    std::atomic<bool> m_bKillResult{false};
};

}  // namespace

TEST(ThreadObject, SecondStartOfARunningThreadStartsNothing) {
    TestThread thread;
    EXPECT_EQ(jsThread::kExitCodeRunning, thread.exitCode());
    ASSERT_TRUE(thread.start());
    ASSERT_EQ(jsEvent::WaitResult::kSignalled, thread.m_running.wait(kLongWait));
    const unsigned long uId = thread.threadId();
    EXPECT_NE(0u, uId);
    EXPECT_TRUE(thread.start());
    EXPECT_EQ(uId, thread.threadId());

    EXPECT_FALSE(thread.stop(kLongWait, true));  // it ended in time: nothing to kill
    EXPECT_FALSE(thread.isRunning());
    EXPECT_EQ(7u, thread.exitCode());
    EXPECT_EQ(1, thread.m_iRuns.load());

    // A finished thread starts afresh.
    ASSERT_TRUE(thread.start());
    ASSERT_EQ(jsEvent::WaitResult::kSignalled, thread.m_running.wait(kLongWait));
    EXPECT_FALSE(thread.stop(kLongWait, false));
    EXPECT_EQ(2, thread.m_iRuns.load());
}

TEST(ThreadObject, StopTimesOutThenKillAbandonsTheThread) {
    auto pGate = std::make_shared<jsEvent>(true, true);
    auto pDestroyed = std::make_shared<jsEvent>(true, true);
    auto* pThread = new TestThread(pGate, pDestroyed);
    ASSERT_TRUE(pThread->start());
    ASSERT_EQ(jsEvent::WaitResult::kSignalled, pThread->m_running.wait(kLongWait));

    const auto start = steady_clock::now();
    EXPECT_FALSE(pThread->stop(30, false));
    EXPECT_GE(steady_clock::now() - start, milliseconds(25));
    EXPECT_TRUE(pThread->isRunning());
    EXPECT_EQ(jsThread::kExitCodeRunning, pThread->exitCode());

    EXPECT_TRUE(pThread->stop(1, true));
    EXPECT_TRUE(pThread->isAbandoned());
    // From here the thread owns the object and deletes it once run() returns.
    pGate->set();
    EXPECT_EQ(jsEvent::WaitResult::kSignalled, pDestroyed->wait(kLongWait));
}

TEST(ThreadObject, KillFromInsideEndsWithDeadCode) {
    SelfKillingThread thread;
    ASSERT_TRUE(thread.start());
    ASSERT_EQ(jsEvent::WaitResult::kSignalled, thread.m_running.wait(kLongWait));
    EXPECT_FALSE(thread.stop(kLongWait, false));
    EXPECT_FALSE(thread.isRunning());
    EXPECT_TRUE(thread.m_bKillResult.load());
    EXPECT_FALSE(thread.isAbandoned());
    EXPECT_EQ(jsThread::kExitCodeKilled, thread.exitCode());
}

TEST(LockGuard, EarlyUnlockReleasesOnlyItsOwnLevel) {
    jsRecursiveSync sync;
    ASSERT_EQ(0, sync.lock());
    {
        jsLock guard(sync);
        EXPECT_TRUE(guard.isLocked());
        guard.unlock();
        EXPECT_FALSE(guard.isLocked());
    }
    EXPECT_EQ(jsCurrentThreadId(), sync.owner());
    EXPECT_EQ(0, sync.unlock());
    EXPECT_EQ(0u, sync.owner());
    EXPECT_EQ(EINVAL, sync.unlock());

    sync.setEnabled(false);
    EXPECT_EQ(0, sync.lock());
    EXPECT_EQ(0u, sync.owner());
}
