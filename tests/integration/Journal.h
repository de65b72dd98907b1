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

std::string Hex(uint32_t value);

class CJournal {
public:
    static CJournal& Get();

    // Runs change under the lock and wakes every waiter.
    void Update(const std::function<void()>& change) {
        std::lock_guard<std::mutex> lock(m_mutex);
        change();
        m_changed.notify_all();
    }
    // Waits until ready() holds (checked under the lock); false after the deadline.
    bool WaitUntil(const std::function<bool()>& ready,
                   std::chrono::milliseconds deadline = std::chrono::seconds(20)) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, deadline, ready);
    }
    // Events, trace and hook; or only the events.
    void Clear();
    void ClearEvents() {
        Update([this] { m_events.clear(); });
    }

    // Trace lines are kept as "function: message"; those of level 1 also among the errors.
    std::vector<std::string> Events() { return Copy(m_events); }
    std::vector<std::string> ErrorLines() { return Copy(m_errors); }
    std::vector<std::string> TraceLines() { return Copy(m_trace); }
    size_t CountEvents(const std::string& prefix) { return Count(m_events, prefix); }
    size_t CountTrace(const std::string& prefix) { return Count(m_trace, prefix); }
    // Waits until at least count lines start with prefix.
    bool WaitForEvents(const std::string& prefix, size_t count = 1) {
        return WaitFor(m_events, prefix, count);
    }
    bool WaitForTrace(const std::string& prefix, size_t count = 1) {
        return WaitFor(m_trace, prefix, count);
    }

    // The trace log given to EQ_Init; it lives as long as the process.
    static const asTraceLog* TraceLog();
    // Record "BeginSet(cd)", "Begin(cd,id)", "Data(cd,id,name,value)", "End(cd,id)",
    // "EndSet(cd)" and "Error(0xstatus,flag)".
    static int32_t OnError(uint32_t status, int32_t flag) {
        return Get().Record("Error", {Hex(status), std::to_string(flag)});
    }
    static int32_t OnBeginSet(uint32_t clientData);
    static int32_t OnBegin(uint32_t clientData, const char* resultId) {
        return Get().Record("Begin", {std::to_string(clientData), Text(resultId)});
    }
    static int32_t OnData(uint32_t clientData, const char* resultId, const char* name,
                          const char* value) {
        return Get().Record("Data",
                            {std::to_string(clientData), Text(resultId), Text(name), Text(value)});
    }
    static int32_t OnEnd(uint32_t clientData, const char* resultId) {
        return Get().Record("End", {std::to_string(clientData), Text(resultId)});
    }
    static int32_t OnEndSet(uint32_t clientData) {
        return Get().Record("EndSet", {std::to_string(clientData)});
    }

    // Called from OnBeginSet, before it records, when set (queries from inside a delivery).
    std::function<void(uint32_t)> m_onBeginSet;
    // Guarded by the lock.
    std::vector<std::string> m_events;
    std::vector<std::string> m_trace;
    std::vector<std::string> m_errors;

private:
    CJournal() = default;
    static std::string Text(const char* text) { return text != nullptr ? text : "(null)"; }
    int32_t Record(const char* name, const std::vector<std::string>& arguments);
    static size_t Matching(const std::vector<std::string>& lines, const std::string& prefix);
    std::vector<std::string> Copy(const std::vector<std::string>& lines) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return lines;
    }
    size_t Count(const std::vector<std::string>& lines, const std::string& prefix) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return Matching(lines, prefix);
    }
    bool WaitFor(const std::vector<std::string>& lines, const std::string& prefix, size_t count) {
        return WaitUntil([&] { return Matching(lines, prefix) >= count; });
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
};

}  // namespace eqit
