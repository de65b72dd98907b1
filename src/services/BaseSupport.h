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

// A numeric setting with a documented range. Settings files are less trusted than code, so:
// - key absent (or no text): false, value untouched;
// - a plain decimal number within [minimum, maximum]: value set, true;
// - a number outside the range: value = the nearer bound, a warning, true;
// - anything else (empty, sign, blanks, trailing junk, more than 32 bits): value untouched (the
//   caller's default stays), a warning, false.
// Warnings (level 2) go to the trace log given to the loader and name the key, the text and the
// value used.
bool RetrieveSettingInRange(int32_t destinationId, const char* section, const char* key,
                            uint32_t minimum, uint32_t maximum, uint32_t& value);

// An on/off setting: 1, true, yes, on or 0, false, no, off, in any case, as the component reads
// its own switches. Key absent: false, value untouched; a known word: value set, true; any
// other text: value untouched (the caller's default stays), a warning naming the key, the text
// and the value used, false.
bool RetrieveSettingSwitch(int32_t destinationId, const char* section, const char* key,
                           bool& value);

// SCS_GetServerCount.
uint32_t GetServerCount(int32_t destinationId, uint32_t& count);

}  // namespace zavServices
