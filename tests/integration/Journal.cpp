#include "Journal.h"

#include <algorithm>
#include <cstdio>

namespace eqit {
namespace {

int32_t Collect(uint32_t, uint32_t level, const char* message, const char* function) {
    const std::string line = std::string(function != nullptr ? function : "") + ": " +
                             (message != nullptr ? message : "");
    CJournal& journal = CJournal::Get();
    journal.Update([&] {
        journal.m_trace.push_back(line);
        if (level == EQ_TRACE_ERROR) journal.m_errors.push_back(line);
    });
    return 0;
}

const asTraceLog g_traceLog{0, EQ_TRACE_ERROR | EQ_TRACE_WARNING | EQ_TRACE_DEBUG, &Collect};
const asTraceLog g_quietLog{0, EQ_TRACE_ERROR | EQ_TRACE_WARNING, &Collect};

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

void CJournal::Clear() {
    Update([this] {
        m_events.clear();
        m_trace.clear();
        m_errors.clear();
        m_onBeginSet = nullptr;
    });
}

size_t CJournal::Matching(const Lines& lines, const std::string& prefix) {
    return static_cast<size_t>(std::count_if(
        lines.begin(), lines.end(), [&](auto& line) { return line.rfind(prefix, 0) == 0; }));
}

const asTraceLog* CJournal::TraceLog(bool debug) { return debug ? &g_traceLog : &g_quietLog; }

int32_t CJournal::Record(const char* name, const Lines& arguments) {
    std::string event = name;
    for (size_t i = 0; i < arguments.size(); ++i) event += (i == 0 ? "(" : ",") + arguments[i];
    Get().Update([&] { Get().m_events.push_back(event + ")"); });
    return 0;
}

int32_t CJournal::OnBeginSet(uint32_t cd) {
    std::function<void(uint32_t)> hook;
    Get().Update([&] { hook = Get().m_onBeginSet; });
    if (hook) hook(cd);
    return Record("BeginSet", {N(cd)});
}

}  // namespace eqit
