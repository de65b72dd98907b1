// The retry state of the event query service: its service type has a settings section that the
// generic retry state does not know, and its server count is read once more after a reload.
#pragma once

#include <string>

#include "services/svcRetryState.h"

class eqRetryState : public svcRetryState {
public:
    eqRetryState() = default;
    ~eqRetryState() override = default;

    uint32_t Init(const std::string& serviceType, CBaseServices* services) override;
    using svcRetryState::Reload;
    uint32_t Reload() override;
};
