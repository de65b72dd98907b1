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
    using Lines = std::vector<std::string>;
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
    Lines Events() { return Copy(m_events); }
    Lines ErrorLines() { return Copy(m_errors); }
    Lines TraceLines() { return Copy(m_trace); }
    size_t CountEvents(const std::string& prefix) { return Matching(Copy(m_events), prefix); }
    size_t CountTrace(const std::string& prefix) { return Matching(Copy(m_trace), prefix); }
    // Wait until at least count lines start with prefix.
    bool WaitForEvents(const std::string& prefix, size_t count = 1) {
        return WaitUntil([&] { return Matching(m_events, prefix) >= count; });
    }
    bool WaitForTrace(const std::string& prefix, size_t count = 1) {
        return WaitUntil([&] { return Matching(m_trace, prefix) >= count; });
    }

    // The trace log given to EQ_Init, with or without the debug level; it lives as long as the
    // process.
    static const asTraceLog* TraceLog(bool debug = true);
    // Record "BeginSet(cd)", "Begin(cd,id)", "Data(cd,id,name,value)", "End(cd,id)",
    // "EndSet(cd)" and "Error(0xstatus,flag)".
    static int32_t OnError(uint32_t status, int32_t flag) {
        return Record("Error", {Hex(status), std::to_string(flag)});
    }
    static int32_t OnBeginSet(uint32_t cd);
    static int32_t OnBegin(uint32_t cd, const char* id) { return Record("Begin", {N(cd), T(id)}); }
    static int32_t OnData(uint32_t cd, const char* id, const char* name, const char* value) {
        return Record("Data", {N(cd), T(id), T(name), T(value)});
    }
    static int32_t OnEnd(uint32_t cd, const char* id) { return Record("End", {N(cd), T(id)}); }
    static int32_t OnEndSet(uint32_t cd) { return Record("EndSet", {N(cd)}); }

    // Called from OnBeginSet, before it records, when set (queries from inside a delivery).
    std::function<void(uint32_t)> m_onBeginSet;
    // Guarded by the lock.
    Lines m_events, m_trace, m_errors;

private:
    CJournal() = default;
    static std::string N(uint32_t number) { return std::to_string(number); }
    static std::string T(const char* text) { return text != nullptr ? text : "(null)"; }
    static int32_t Record(const char* name, const Lines& arguments);
    static size_t Matching(const Lines& lines, const std::string& prefix);
    Lines Copy(const Lines& lines) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return lines;
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
};

}  // namespace eqit
