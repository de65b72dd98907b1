#include "event_query/EventQueryInstance.h"

#include <mutex>

namespace zavEventQuery {

namespace {
// A leaf lock: nothing else is taken while it is held (AddRef is atomic).
std::mutex g_publicationMutex;
CEventQueryServices* g_pInstance = nullptr;
}  // namespace

CEventQueryServices* GetInstance() {
    std::lock_guard<std::mutex> guard(g_publicationMutex);
    return g_pInstance;
}

void SetInstance(CEventQueryServices* services) {
    std::lock_guard<std::mutex> guard(g_publicationMutex);
    g_pInstance = services;
}

CEventQueryServices* AcquireInstance() {
    std::lock_guard<std::mutex> guard(g_publicationMutex);
    if (g_pInstance != nullptr) {
        g_pInstance->AddRef();
    }
    return g_pInstance;
}

uint32_t SettingsChangedCallback(int32_t destinationId) {
    return GuardedCall([destinationId](CEventQueryServices& services) {
        return services.OnSettingsChanged(destinationId);
    });
}

}  // namespace zavEventQuery
