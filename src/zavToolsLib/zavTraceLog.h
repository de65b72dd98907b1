// The one way every layer reports: a line to the application's trace log.
#pragma once

#include <cstdint>

#include "zavEventQuerySvcs.h"

namespace zavToolsLib {

// Calls the trace function when the log exists, has a function and its mask shares a bit with
// level. Nothing thrown by the application's function escapes.
void Log(const asTraceLog* log, uint32_t level, const char* message, const char* function);

// True when a line of this level would be written (lets callers skip composing it).
inline bool LogEnabled(const asTraceLog* log, uint32_t level) {
    return log != nullptr && log->trace != nullptr && (log->levelMask & level) != 0;
}

}  // namespace zavToolsLib
