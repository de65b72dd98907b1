// A trace log that keeps "function: message" lines. The asTraceLog lives as long as the process:
// a dispatch thread that outlives its test may still write to it.
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "zavEventQuerySvcs.h"

namespace TraceCapture {

inline std::mutex g_mutex;
inline std::vector<std::string> g_lines;

inline int32_t Collect(uint32_t, uint32_t, const char* message, const char* function) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_lines.push_back(std::string(function) + ": " + message);
    return 0;
}

inline const asTraceLog g_log{0, EQ_TRACE_ERROR | EQ_TRACE_WARNING | EQ_TRACE_DEBUG, &Collect};

inline void Clear() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_lines.clear();
}

// Lines starting with prefix.
inline size_t Count(const std::string& prefix) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return static_cast<size_t>(std::count_if(
        g_lines.begin(), g_lines.end(), [&](auto& line) { return line.rfind(prefix, 0) == 0; }));
}

}  // namespace TraceCapture
