#include "zavToolsLib/zavTraceLog.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

namespace zavToolsLib {

namespace {

// How many sessions hold each log open (a log at 0 is closed; one never opened is open), and
// the lines being written right now. A process has one or two logs, so plain vectors do.
struct CTraceGate {
    std::mutex mutex;
    std::condition_variable idle;
    std::vector<std::pair<const asTraceLog*, int>> holders;
    std::vector<const asTraceLog*> writing;  // one entry per line in progress
};

// Never destroyed: a thread still running at process exit may write a line.
CTraceGate& Gate() {
    static CTraceGate* const gate = new CTraceGate();
    return *gate;
}

// Lines this thread is writing to the log, so that closing it from inside its own trace function
// does not wait for itself.
thread_local const asTraceLog* t_pWriting = nullptr;
thread_local int t_iWritingDepth = 0;

std::pair<const asTraceLog*, int>* FindHolders(CTraceGate& gate, const asTraceLog* log) {
    for (auto& entry : gate.holders) {
        if (entry.first == log) return &entry;
    }
    return nullptr;
}

bool IsClosed(CTraceGate& gate, const asTraceLog* log) {
    const auto* entry = FindHolders(gate, log);
    return entry != nullptr && entry->second == 0;
}

bool MaskAllows(const asTraceLog* log, uint32_t level) {
    return log->trace != nullptr && (log->levelMask & level) != 0;
}

}  // namespace

bool LogEnabled(const asTraceLog* log, uint32_t level) {
    if (log == nullptr) {
        return false;
    }
    CTraceGate& gate = Gate();
    std::lock_guard<std::mutex> guard(gate.mutex);
    return !IsClosed(gate, log) && MaskAllows(log, level);
}

void Log(const asTraceLog* log, uint32_t level, const char* message, const char* function) {
    if (log == nullptr) {
        return;
    }
    CTraceGate& gate = Gate();
    asTraceFunction trace = nullptr;
    uint32_t context = 0;
    {
        std::lock_guard<std::mutex> guard(gate.mutex);
        if (IsClosed(gate, log) || !MaskAllows(log, level)) {
            return;
        }
        trace = log->trace;
        context = log->context;
        gate.writing.push_back(log);
    }
    const asTraceLog* const outer = t_pWriting;
    t_pWriting = log;
    ++t_iWritingDepth;
    try {
        trace(context, level, message != nullptr ? message : "",
              function != nullptr ? function : "");
    } catch (...) {
        // A trace function that throws must not take the library down with it.
    }
    --t_iWritingDepth;
    t_pWriting = outer;
    std::lock_guard<std::mutex> guard(gate.mutex);
    gate.writing.erase(std::find(gate.writing.begin(), gate.writing.end(), log));
    gate.idle.notify_all();
}

void CloseTraceLog(const asTraceLog* log) {
    if (log == nullptr) {
        return;
    }
    CTraceGate& gate = Gate();
    std::unique_lock<std::mutex> lock(gate.mutex);
    auto* entry = FindHolders(gate, log);
    if (entry == nullptr) {
        gate.holders.emplace_back(log, 0);
    } else if (entry->second > 0 && --entry->second > 0) {
        return;  // another session still writes to it
    }
    const auto own = static_cast<std::ptrdiff_t>(t_pWriting == log ? t_iWritingDepth : 0);
    gate.idle.wait(
        lock, [&] { return std::count(gate.writing.begin(), gate.writing.end(), log) <= own; });
}

void OpenTraceLog(const asTraceLog* log) {
    if (log == nullptr) {
        return;
    }
    CTraceGate& gate = Gate();
    std::lock_guard<std::mutex> guard(gate.mutex);
    if (auto* entry = FindHolders(gate, log)) {
        ++entry->second;
    } else {
        gate.holders.emplace_back(log, 1);
    }
}

}  // namespace zavToolsLib
