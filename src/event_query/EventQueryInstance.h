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
    uint32_t status;
    try {
        status = operation(*services);
    } catch (...) {
        status = zavToolsLib::ZAV_E_EXCEPTION;
    }
    // A call that raced EQ_ShutDown may find the component already let go: to the caller the
    // library was no longer initialised.
    if (status != zavToolsLib::ZAV_OK && services->IsStopping()) {
        return EQ_E_NOT_INITIALIZED;
    }
    return status;
}

// The settings-changed callback registered with the session configuration component: reloads
// the settings of the published instance when its destination changed.
uint32_t SettingsChangedCallback(int32_t destinationId);

}  // namespace zavEventQuery
