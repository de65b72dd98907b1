// The registered settings-changed callbacks of one side (client or server).
#ifndef ZAV_SCS_SETTINGS_CALLBACKS_H
#define ZAV_SCS_SETTINGS_CALLBACKS_H

#include <cstdint>
#include <mutex>
#include <vector>

#include "TraceLog.h"
#include "zavSessionConfigSvcs.h"

namespace zavscs {

class CSettingsCallbacks {
public:
    // A callback is registered once; registering it again only replaces its context.
    void Register(SCS_SettingsChangedCallback callback, void* pContext);
    // Idempotent: an unknown callback is not an error.
    void Unregister(SCS_SettingsChangedCallback callback);
    void Clear();
    // Calls every callback with the id, in order of registration, without holding the lock, so a
    // callback may call back into the component (and even unregister itself).
    void Notify(int32_t iId, const CTraceLog& log) const;

private:
    struct SEntry {
        SCS_SettingsChangedCallback callback;
        void* pContext;  // kept with the registration; the callback type does not take it
    };
    mutable std::mutex m_mutex;
    std::vector<SEntry> m_entries;
};

}  // namespace zavscs

#endif
