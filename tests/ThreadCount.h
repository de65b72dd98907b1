// Threads of this process, for tests that must not end while a library thread is still on its
// way out: a detached thread exiting while the process exits can crash LeakSanitizer's final
// scan, and nothing signals the moment such a thread is really gone.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <iterator>
#include <thread>

namespace zavTest {

inline std::size_t ThreadCount() {
    std::error_code ignored;
    const std::filesystem::directory_iterator tasks("/proc/self/task", ignored);
    return static_cast<std::size_t>(std::distance(tasks, std::filesystem::directory_iterator()));
}

// Waits (polling, bounded) until no more than count threads are left; false on time-out.
inline bool WaitForThreadCount(std::size_t count,
                               std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (ThreadCount() > count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace zavTest
