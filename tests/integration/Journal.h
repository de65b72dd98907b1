// What the library told the test: trace lines and callback calls, with one lock and one
// condition shared with the test servers, so a test can wait for any mix of them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "zavEventQuerySvcs.h"

namespace eqit {

struct TraceLine {
    uint32_t level;
    std::string message;
    std::string function;
};

class CJournal {
public:
    static CJournal& Get();

    // Runs change under the lock and wakes every waiter.
    void Update(const std::function<void()>& change);
    // Waits until ready() holds (checked under the lock); false after the deadline.
    bool WaitUntil(const std::function<bool()>& ready,
                   std::chrono::milliseconds deadline = std::chrono::seconds(20));
    // Runs read under the lock.
    void Read(const std::function<void()>& read);

    void Clear();
    // Callback events only; the trace stays (TearDown counts dispatch threads in it).
    void ClearEvents();
    std::vector<std::string> Events();
    std::vector<TraceLine> Trace();
    // Trace lines at level from function whose message starts with prefix.
    size_t CountTrace(uint32_t level, const std::string& function, const std::string& prefix);
    size_t CountEvents(const std::string& prefix);

    // The trace log given to EQ_Init; it lives as long as the process, as dispatch threads may
    // outlive a test.
    static const asTraceLog* TraceLog();
    // Records as "BeginSet(cd)", "Begin(cd,id)", "Data(cd,id,name,value)", "End(cd,id)",
    // "EndSet(cd)" and "Error(0xstatus,flag)".
    static int32_t OnError(uint32_t status, int32_t flag);
    static int32_t OnBeginSet(uint32_t clientData);
    static int32_t OnBegin(uint32_t clientData, const char* resultId);
    static int32_t OnData(uint32_t clientData, const char* resultId, const char* name,
                          const char* value);
    static int32_t OnEnd(uint32_t clientData, const char* resultId);
    static int32_t OnEndSet(uint32_t clientData);

    // Called from OnBeginSet, before it records, when set (queries from inside a delivery).
    std::function<void(uint32_t)> m_onBeginSet;

    // Guarded by the lock.
    std::vector<std::string> m_events;
    std::vector<TraceLine> m_trace;

private:
    CJournal() = default;
    void Record(std::string event);

    std::mutex m_mutex;
    std::condition_variable m_changed;
};

std::string Hex(uint32_t value);

}  // namespace eqit
