#include "services/svcRetryState.h"

#include "services/BaseServices.h"
#include "services/BaseSupport.h"
#include "services/zavSessionConfigSvcs.h"
#include "zavToolsLib/zavStatus.h"
#include "zavToolsLib/zavTraceLog.h"

namespace {

constexpr const char* kReloadFunction = "svcRetryState::Reload()";
constexpr const char* kNextStateFunction = "svcRetryState::NextState()";

// An attempt that asks to be repeated at once.
constexpr uint32_t kResultRetryNow = 0xC7210038u;

// Service types whose retry settings live in a section of their own.
struct RetrySection {
    const char* serviceType;
    const char* section;
};
constexpr RetrySection kRetrySections[] = {
    {"Agent Manager", "sensor_services"},
    {"License Server", "license_services"},
    {"Event Server", "event_services"},
    {"Update Server", "update_services"},
};

}  // namespace

svcRetryState::svcRetryState() = default;

svcRetryState::~svcRetryState() = default;

uint32_t svcRetryState::Init(const std::string& serviceType, CBaseServices* services) {
    m_strServiceName = serviceType;
    m_pServices = services;
    for (const RetrySection& entry : kRetrySections) {
        if (serviceType == entry.serviceType) {
            m_strSection = entry.section;
            break;
        }
    }
    const uint32_t status = Reload();
    Reset();
    return status;
}

const std::string& svcRetryState::GetServiceName() const { return m_strServiceName; }

uint32_t svcRetryState::Reload() { return Reload(DestinationId()); }

uint32_t svcRetryState::Reload(int32_t destinationId) {
    const char* section = m_strSection.c_str();
    using zavServices::RetrieveSettingInRange;
    RetrieveSettingInRange(destinationId, section, "retryInterval", kMinRetryWait, kMaxRetryWait,
                           m_uRetryInterval);
    RetrieveSettingInRange(destinationId, section, "retryCeiling", kMinRetryWait, kMaxRetryWait,
                           m_uRetryCeiling);
    RetrieveSettingInRange(destinationId, section, "maxServerRetry", 0, kMaxServerRetryLimit,
                           m_uMaxServerRetry);
    RetrieveSettingInRange(destinationId, section, "retryPrimaryServer", 0, kMaxRetryPrimaryServer,
                           m_uRetryPrimaryServer);
    // A ceiling below the interval would shrink the waits after the first one.
    if (m_uRetryCeiling < m_uRetryInterval) {
        LogWarning("retryCeiling " + std::to_string(m_uRetryCeiling) + " is below retryInterval " +
                       std::to_string(m_uRetryInterval) + "; using " +
                       std::to_string(m_uRetryInterval),
                   kReloadFunction);
        m_uRetryCeiling = m_uRetryInterval;
    }
    bool loop = true;
    zavServices::RetrieveSettingSwitch(destinationId, section, "retryServerLoop", loop);
    m_bRetryServerLoop = loop;

    const uint32_t status = zavServices::GetServerCount(destinationId, m_uServerCount);
    if (status != zavToolsLib::ZAV_OK) {
        if (DebugEnabled()) {
            LogDebug("Unable to get server count for destination " + std::to_string(destinationId),
                     kReloadFunction);
        }
        return status;
    }
    if (m_uServerCount == 0 && DebugEnabled()) {
        LogDebug("No available servers for destination " + std::to_string(destinationId),
                 kReloadFunction);
    }
    return zavToolsLib::ZAV_OK;
}

void svcRetryState::GetState(uint32_t& wait, int32_t& serverIndex) const {
    wait = m_uWait;
    serverIndex = m_iServerIndex;
}

void svcRetryState::NextState(uint32_t result, uint32_t& wait, int32_t& serverIndex) {
    bool eligible = true;
    bool exhausted = false;

    if (result == zavToolsLib::ZAV_OK) {
        m_uWait = kWaitIdle;
        m_uAttempts = 0;
    } else if (result == kResultRetryNow) {
        m_uWait = 0;
    } else if (result == zavToolsLib::ZAV_E_NO_SERVER) {
        m_uWait = kWaitIdle;
    } else {
        if (m_uWait == 0 || m_uWait == kWaitIdle) {
            m_uWait = m_uRetryInterval;
        } else if (m_uWait != m_uRetryCeiling) {
            // Computed in 64 bits so that a large interval cannot wrap below the ceiling.
            const uint64_t doubled = static_cast<uint64_t>(m_uWait) * 2;
            m_uWait = doubled >= m_uRetryCeiling ? m_uRetryCeiling : static_cast<uint32_t>(doubled);
        }
        // A busy server asks to be tried again later: that is not held against it.
        eligible = result != SCS_I_SERVER_BUSY;
        if (m_uServerCount != 0 && eligible) {
            ++m_uAttempts;
            if (m_uAttempts < m_uMaxServerRetry) {
                LogDebug(
                    "Can retry failed server again. Attempts made: " + std::to_string(m_uAttempts) +
                        " of " + std::to_string(m_uMaxServerRetry),
                    kNextStateFunction);
            } else {
                ++m_iServerIndex;
                if (static_cast<int64_t>(m_iServerIndex) < static_cast<int64_t>(m_uServerCount)) {
                    LogDebug("Cannot retry failed server again. Attempts made: " +
                                 std::to_string(m_uAttempts) + " of " +
                                 std::to_string(m_uMaxServerRetry) +
                                 ". Switching to next server: " + std::to_string(m_iServerIndex) +
                                 " of " + std::to_string(m_uServerCount),
                             kNextStateFunction);
                } else {
                    m_iServerIndex = 0;
                    exhausted = !m_bRetryServerLoop;
                }
                m_uWait = m_uMaxServerRetry <= 1 ? m_uRetryInterval : 0;
                if (m_iServerIndex == 1) {
                    m_tPrimaryLeft = Now();
                }
                m_uAttempts = 0;
            }
        }
    }

    if (m_iServerIndex >= 1 && eligible &&
        static_cast<uint32_t>(Now() - m_tPrimaryLeft) > m_uRetryPrimaryServer) {
        m_iServerIndex = 0;
        if (m_uWait != kWaitIdle) {
            m_uWait = m_uRetryInterval;
        }
    }

    if (m_iServerIndex == -1 && m_uServerCount != 0) {
        m_iServerIndex = 0;
    }

    if (exhausted) {
        if (DebugEnabled()) {
            LogDebug(
                "Retries failed on all servers in the server list! No more retries for this "
                "request!",
                kNextStateFunction);
        }
        if (m_pServices != nullptr) {
            m_pServices->OnRetryRequestFailed();
        }
        m_uWait = kWaitIdle;
        m_uAttempts = 0;
        m_iServerIndex = 0;
    }

    if (m_bDataPending && m_uWait == kWaitIdle) {
        m_uWait = 0;
    }
    m_bDataPending = false;

    wait = m_uWait;
    if (m_uServerCount == 0) {
        m_iServerIndex = -1;
        serverIndex = -1;
    } else if (static_cast<int64_t>(m_iServerIndex) < static_cast<int64_t>(m_uServerCount)) {
        serverIndex = m_iServerIndex;
    }

    if (wait != kWaitIdle && DebugEnabled()) {
        LogDebug("Next retry in " + std::to_string(wait / 1000) + " seconds to server index #" +
                     std::to_string(serverIndex),
                 kNextStateFunction);
    }
}

void svcRetryState::Reset() {
    m_uWait = kWaitIdle;
    m_iServerIndex = m_uServerCount != 0 ? 0 : -1;
    m_uAttempts = 0;
    m_tPrimaryLeft = 0;
    m_bDataPending = false;
}

void svcRetryState::SetServer(uint32_t wait, int32_t serverIndex) {
    if (m_uServerCount == 0 || serverIndex < 0 ||
        static_cast<uint32_t>(serverIndex) >= m_uServerCount) {
        return;
    }
    m_iServerIndex = serverIndex;
    m_uWait = wait;
    m_uAttempts = 0;
    m_tPrimaryLeft = Now();
}

bool svcRetryState::IsDataPending() const { return m_bDataPending; }

void svcRetryState::SetDataPending(bool pending) { m_bDataPending = pending; }

int32_t svcRetryState::DestinationId() const {
    return m_pServices != nullptr ? m_pServices->GetDestinationId() : -1;
}

bool svcRetryState::DebugEnabled() const {
    return m_pServices != nullptr &&
           zavToolsLib::LogEnabled(m_pServices->GetTraceLog(), EQ_TRACE_DEBUG);
}

void svcRetryState::LogDebug(const std::string& message, const char* function) const {
    if (m_pServices != nullptr) {
        zavToolsLib::Log(m_pServices->GetTraceLog(), EQ_TRACE_DEBUG, message.c_str(), function);
    }
}

void svcRetryState::LogWarning(const std::string& message, const char* function) const {
    if (m_pServices != nullptr) {
        zavToolsLib::Log(m_pServices->GetTraceLog(), EQ_TRACE_WARNING, message.c_str(), function);
    }
}
