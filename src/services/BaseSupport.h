// Helpers shared by the service framework: the settings section of a service type and reading
// local settings through the session configuration component.
#pragma once

#include <cstdint>
#include <string>

namespace zavServices {

// The settings section of a service type (exact, case-sensitive match); "" for an unknown type.
const char* GetServiceSection(const std::string& serviceType);

// SCS_RetrieveLocalSettingsValue with the text released at once. Returns the component's
// status; on 0, hasText tells whether the component gave a text at all.
uint32_t RetrieveSettingText(int32_t destinationId, const char* section, const char* key,
                             std::string& text, bool& hasText);

// True when the key was found with a text; text receives it.
bool RetrieveSetting(int32_t destinationId, const char* section, const char* key,
                     std::string& text);

// True when the key was found with a text; value receives its base-10 value (leading digits
// only, 0 for a text that is not a number).
bool RetrieveSettingNumber(int32_t destinationId, const char* section, const char* key,
                           uint32_t& value);

// A number within [minimum, maximum]: out-of-range values give the nearest bound; a text that is
// not a number leaves value as it is. Returns true when value was set.
bool RetrieveSettingInRange(int32_t destinationId, const char* section, const char* key,
                            uint32_t minimum, uint32_t maximum, uint32_t& value);

// SCS_GetServerCount.
uint32_t GetServerCount(int32_t destinationId, uint32_t& count);

// The base-10 value of a settings text, as the settings readers take it.
uint32_t ParseSettingNumber(const char* text);

}  // namespace zavServices
