#include "Journal.h"

#include <algorithm>
#include <cstdio>

namespace eqit {
namespace {

int32_t Collect(uint32_t, uint32_t level, const char* message, const char* function) {
    CJournal::Get().Update([&] {
        CJournal::Get().m_trace.push_back(
            {level, message != nullptr ? message : "", function != nullptr ? function : ""});
    });
    return 0;
}

const asTraceLog g_traceLog{0, EQ_TRACE_ERROR | EQ_TRACE_WARNING | EQ_TRACE_DEBUG, &Collect};

std::string Text(const char* text) { return text != nullptr ? text : "(null)"; }

}  // namespace

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

CJournal& CJournal::Get() {
    static CJournal journal;
    return journal;
}

void CJournal::Update(const std::function<void()>& change) {
    std::lock_guard<std::mutex> lock(m_mutex);
    change();
    m_changed.notify_all();
}

bool CJournal::WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds deadline) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, deadline, ready);
}

void CJournal::Read(const std::function<void()>& read) {
    std::lock_guard<std::mutex> lock(m_mutex);
    read();
}

void CJournal::Clear() {
    Update([this] {
        m_events.clear();
        m_trace.clear();
        m_onBeginSet = nullptr;
    });
}

void CJournal::ClearEvents() {
    Update([this] { m_events.clear(); });
}

std::vector<std::string> CJournal::Events() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
}

std::vector<TraceLine> CJournal::Trace() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_trace;
}

size_t CJournal::CountTrace(uint32_t level, const std::string& function,
                            const std::string& prefix) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<size_t>(std::count_if(m_trace.begin(), m_trace.end(), [&](auto& line) {
        return line.level == level && line.function == function &&
               line.message.rfind(prefix, 0) == 0;
    }));
}

size_t CJournal::CountEvents(const std::string& prefix) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<size_t>(std::count_if(m_events.begin(), m_events.end(),
                                             [&](auto& e) { return e.rfind(prefix, 0) == 0; }));
}

const asTraceLog* CJournal::TraceLog() { return &g_traceLog; }

void CJournal::Record(std::string event) {
    Update([&] { m_events.push_back(std::move(event)); });
}

int32_t CJournal::OnError(uint32_t status, int32_t flag) {
    Get().Record("Error(" + Hex(status) + "," + std::to_string(flag) + ")");
    return 0;
}

int32_t CJournal::OnBeginSet(uint32_t clientData) {
    std::function<void(uint32_t)> hook;
    Get().Read([&] { hook = Get().m_onBeginSet; });
    if (hook) hook(clientData);
    Get().Record("BeginSet(" + std::to_string(clientData) + ")");
    return 0;
}

int32_t CJournal::OnBegin(uint32_t clientData, const char* resultId) {
    Get().Record("Begin(" + std::to_string(clientData) + "," + Text(resultId) + ")");
    return 0;
}

int32_t CJournal::OnData(uint32_t clientData, const char* resultId, const char* name,
                         const char* value) {
    Get().Record("Data(" + std::to_string(clientData) + "," + Text(resultId) + "," + Text(name) +
                 "," + Text(value) + ")");
    return 0;
}

int32_t CJournal::OnEnd(uint32_t clientData, const char* resultId) {
    Get().Record("End(" + std::to_string(clientData) + "," + Text(resultId) + ")");
    return 0;
}

int32_t CJournal::OnEndSet(uint32_t clientData) {
    Get().Record("EndSet(" + std::to_string(clientData) + ")");
    return 0;
}

}  // namespace eqit
