// jsThread start, stop and kill, and the jsLock guard.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>

#include "zavToolsLib/jsevent.h"
#include "zavToolsLib/jssync.h"
#include "zavToolsLib/jsthread.h"

using namespace zavToolsLib;

namespace {

constexpr uint32_t kLongWait = 10000;

// Runs until asked to stop, or with bKillSelf kills itself at once. (Abandoning a thread that
// will not stop is covered through the threading table's teardown.)
class TestThread : public jsThread {
public:
    explicit TestThread(bool bKillSelf = false) : jsThread("test", 2), m_bKillSelf(bKillSelf) {}

    uint32_t run() override {
        ++m_iRuns;
        m_running.set();
        if (m_bKillSelf) m_bKillResult = stop(0, true);
        if (!m_bKillSelf) waitForStop(kLongWait);
        return 7;
    }

    const bool m_bKillSelf;
    jsEvent m_running{true, false};
    std::atomic<int> m_iRuns{0};
    std::atomic<bool> m_bKillResult{false};
};

}  // namespace

TEST(ThreadObject, SecondStartOfARunningThreadStartsNothing) {
    TestThread thread;
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

TEST(ThreadObject, KillFromInsideEndsWithDeadCode) {
    TestThread thread(true);
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
