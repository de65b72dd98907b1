// The one way every layer reports: a line to the application's trace log.
//
// The application's structure need only live until EQ_ShutDown returns, yet an abandoned
// dispatch thread or the last release of the service object may still want to write a line
// later. So the log passes through a gate: each session (an EQ_Init attempt, then the object it
// publishes) holds the log open, and once the last holder has closed it no line reaches it (and
// its fields are not even read) until a new session opens it again. Counting holders keeps one
// session's end from silencing another that shares the structure.
#pragma once

#include <cstdint>

#include "zavEventQuerySvcs.h"

namespace zavToolsLib {

// Calls the trace function when the log exists, is open, has a function and its mask shares a
// bit with level. Nothing thrown by the application's function escapes.
void Log(const asTraceLog* log, uint32_t level, const char* message, const char* function);

// True when a line of this level would be written (lets callers skip composing it).
bool LogEnabled(const asTraceLog* log, uint32_t level);

// Drops one session's hold on log. When it was the last (or log was never opened), from the
// return of this call on no line goes to log and none is still being written, except one this
// very thread is writing (a trace function that shuts the library down).
void CloseTraceLog(const asTraceLog* log);

// A session starts writing to log: lines reach it until every holder has closed it.
void OpenTraceLog(const asTraceLog* log);

}  // namespace zavToolsLib
