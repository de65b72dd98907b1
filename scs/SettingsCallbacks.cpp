#include "SettingsCallbacks.h"

#include <algorithm>
#include <cstdio>

namespace zavscs {

void CSettingsCallbacks::Register(SCS_SettingsChangedCallback callback, void* pContext) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& entry : m_entries) {
        if (entry.callback == callback) {
            entry.pContext = pContext;
            return;
        }
    }
    m_entries.push_back({callback, pContext});
}

void CSettingsCallbacks::Unregister(SCS_SettingsChangedCallback callback) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [&](const SEntry& entry) { return entry.callback == callback; }),
                    m_entries.end());
}

void CSettingsCallbacks::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.clear();
}

void CSettingsCallbacks::Notify(int32_t iId, const CTraceLog& log) const {
    std::vector<SEntry> entries;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        entries = m_entries;
    }
    for (const auto& entry : entries) {
        const uint32_t uStatus = entry.callback(iId);
        if (uStatus != 0) {
            char text[96];
            std::snprintf(text, sizeof(text), "settings-changed callback for id %d returned 0x%08X",
                          static_cast<int>(iId), static_cast<unsigned>(uStatus));
            log.Write(TRACE_WARNING, text, "CSettingsCallbacks::Notify()");
        }
    }
}

}  // namespace zavscs
