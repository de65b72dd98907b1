// Statuses of the component besides the SCS_ ones of the interface header, and their texts.
#ifndef ZAV_SCS_STATUS_H
#define ZAV_SCS_STATUS_H

#include <cstdint>

#include "zavSessionConfigSvcs.h"

namespace zavscs {

constexpr uint32_t SCS_E_BUFFER_TOO_SMALL = 0xC7210001u;  // caller's array or buffer is too small
constexpr uint32_t SCS_E_INVALID_ARG = 0xC7210003u;
constexpr uint32_t SCS_E_NO_MEMORY = 0xC7210004u;
constexpr uint32_t SCS_E_EXCEPTION = 0xC7210005u;

// A short English text for a status, or nullptr for a status the component never returns.
const char* StatusText(uint32_t status);

}  // namespace zavscs

#endif
