// A trace log that keeps "function: message" lines with their levels. The asTraceLog lives as
// long as the process: a dispatch thread that outlives its test may still write to it.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "zavEventQuerySvcs.h"

namespace TraceCapture {

inline std::mutex g_mutex;
inline std::condition_variable g_added;
inline std::vector<std::pair<uint32_t, std::string>> g_lines;

inline int32_t Collect(uint32_t, uint32_t level, const char* message, const char* function) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_lines.emplace_back(level, std::string(function) + ": " + message);
    g_added.notify_all();
    return 0;
}

inline const asTraceLog g_log{0, 0xFFFFFFFFu, &Collect};

inline void Clear() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_lines.clear();
}

// Lines containing part; with bExact, lines equal to it. Level 0 matches any level.
inline size_t Count(const std::string& part, uint32_t level = 0, bool bExact = false) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return static_cast<size_t>(std::count_if(g_lines.begin(), g_lines.end(), [&](auto& line) {
        return (level == 0 || line.first == level) &&
               (bExact ? line.second == part : line.second.find(part) != std::string::npos);
    }));
}

// Waits (bounded) for a line containing part; false on time-out.
inline bool WaitFor(const std::string& part) {
    std::unique_lock<std::mutex> lock(g_mutex);
    return g_added.wait_for(lock, std::chrono::seconds(30), [&] {
        return std::any_of(g_lines.begin(), g_lines.end(),
                           [&](auto& line) { return line.second.find(part) != std::string::npos; });
    });
}

}  // namespace TraceCapture
