#include "event_query/eqRetryState.h"

#include "services/BaseServices.h"
#include "services/BaseSupport.h"
#include "zavToolsLib/zavStatus.h"
#include "zavToolsLib/zavTraceLog.h"

namespace {
constexpr const char* kEventQueryServer = "Event Query Server";
}  // namespace

uint32_t eqRetryState::Init(const std::string& serviceType, CBaseServices* services) {
    if (serviceType != kEventQueryServer) {
        return svcRetryState::Init(serviceType, services);
    }
    m_strServiceName = serviceType;
    m_pServices = services;
    m_strSection = "event_query_services";
    const uint32_t status = Reload();
    Reset();
    return status;
}

uint32_t eqRetryState::Reload() {
    const uint32_t status = svcRetryState::Reload();
    if (m_strServiceName != kEventQueryServer) {
        return status;
    }
    const uint32_t countStatus = zavServices::GetServerCount(DestinationId(), m_uServerCount);
    if (countStatus != zavToolsLib::ZAV_OK && DebugEnabled()) {
        LogDebug("Unable to get server count for service type " + m_strServiceName,
                 "eqRetryState::Reload()");
    }
    return countStatus;
}
