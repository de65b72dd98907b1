// The process-wide service object behind the exported functions, and the guard that every
// operation on it runs under: a reference is held for the duration of the call, so the object
// outlives an EQ_ShutDown running meanwhile in another thread, and nothing thrown gets out.
#pragma once

#include <cstdint>

#include "event_query/EventQueryServices.h"
#include "zavToolsLib/zavStatus.h"

namespace zavEventQuery {

// The published instance, null while the library is not initialised. Written by EQ_Init and
// EQ_ShutDown under the threading table's process-wide lock.
CEventQueryServices* GetInstance();
void SetInstance(CEventQueryServices* services);

// The published instance with a reference taken, or null. Reading the pointer and taking the
// reference happen under the publication mutex, so EQ_ShutDown cannot drop the published
// reference in between and free the object under the caller.
CEventQueryServices* AcquireInstance();

// Drops the reference that AcquireInstance took when it goes out of scope.
class CInstanceReference {
public:
    explicit CInstanceReference(CEventQueryServices& services) : m_services(services) {}
    ~CInstanceReference() { m_services.Release(); }
    CInstanceReference(const CInstanceReference&) = delete;
    CInstanceReference& operator=(const CInstanceReference&) = delete;

private:
    CEventQueryServices& m_services;
};

// Runs operation (CEventQueryServices&) -> status on the published instance.
template <class Operation>
uint32_t GuardedCall(Operation&& operation) {
    CEventQueryServices* services = AcquireInstance();
    if (services == nullptr) {
        return EQ_E_NOT_INITIALIZED;
    }
    CInstanceReference reference(*services);
    try {
        return operation(*services);
    } catch (...) {
        return zavToolsLib::ZAV_E_EXCEPTION;
    }
}

// Runs call (into the session configuration component) unless a concurrent EQ_ShutDown has let
// the component go: to that caller the library is no longer initialised.
template <class Call>
uint32_t ComponentCall(const CEventQueryServices& services, Call&& call) {
    uint32_t status = EQ_E_NOT_INITIALIZED;
    services.CallComponent([&] { status = call(); });
    return status;
}

// The settings-changed callback registered with the session configuration component: reloads
// the settings of the published instance when its destination changed.
uint32_t SettingsChangedCallback(int32_t destinationId);

}  // namespace zavEventQuery
