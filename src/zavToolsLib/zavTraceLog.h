// The one way every layer reports: a line to the application's trace log.
//
// The application's structure need only live until EQ_ShutDown returns, yet an abandoned
// dispatch thread or the last release of the service object may still want to write a line
// later. So the log passes through a gate: once a log is closed, no line reaches it (and its
// fields are not even read) until it is opened again by the next EQ_Init.
#pragma once

#include <cstdint>

#include "zavEventQuerySvcs.h"

namespace zavToolsLib {

// Calls the trace function when the log exists, is open, has a function and its mask shares a
// bit with level. Nothing thrown by the application's function escapes.
void Log(const asTraceLog* log, uint32_t level, const char* message, const char* function);

// True when a line of this level would be written (lets callers skip composing it).
bool LogEnabled(const asTraceLog* log, uint32_t level);

// From the return of this call on, no line goes to log and none is still being written, except
// one this very thread is writing (a trace function that shuts the library down).
void CloseTraceLog(const asTraceLog* log);

// Lets lines reach log again (a new session with the same structure).
void OpenTraceLog(const asTraceLog* log);

}  // namespace zavToolsLib
