#include "services/BaseSupport.h"

#include <strings.h>

#include "services/mslLoader.h"
#include "services/mslLoader_zavSessionConfigSvcs.h"
#include "zavToolsLib/zavStatus.h"
#include "zavToolsLib/zavTraceLog.h"

namespace zavServices {

namespace {

struct ServiceSection {
    const char* serviceType;
    const char* section;
};

constexpr ServiceSection kServiceSections[] = {
    {"Agent Manager", "sensor_services"},
    {"License Server", "license_services"},
    {"Event Server", "event_services"},
    {"Update Server", "update_services"},
    {"Asset Server", "asset_services"},
    {"Task Server", "task_services"},
    {"Event Subscription Server", "event_subscription_services"},
    {"Event Query Server", "event_query_services"},
};

// Releases a text of the component when it goes out of scope.
class ScsText {
public:
    ScsText() = default;
    ~ScsText() {
        if (m_pText != nullptr) {
            SCS_CALL(SCS_Free)(m_pText);
        }
    }
    ScsText(const ScsText&) = delete;
    ScsText& operator=(const ScsText&) = delete;
    char** Out() { return &m_pText; }
    const char* Get() const { return m_pText; }

private:
    char* m_pText = nullptr;
};

// The value of a text made only of decimal digits that fits in 32 bits; false for anything else.
bool ParseSettingNumber(const std::string& text, uint32_t& value) {
    // Digits only: strtoul would take "-1" as a huge number and "250ms" as 250.
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    uint64_t number = 0;
    for (const char digit : text) {
        number = number * 10 + static_cast<uint64_t>(digit - '0');
        if (number > 0xFFFFFFFFu) {
            return false;
        }
    }
    value = static_cast<uint32_t>(number);
    return true;
}

}  // namespace

const char* GetServiceSection(const std::string& serviceType) {
    for (const ServiceSection& entry : kServiceSections) {
        if (serviceType == entry.serviceType) {
            return entry.section;
        }
    }
    return "";
}

uint32_t RetrieveSettingText(int32_t destinationId, const char* section, const char* key,
                             std::string& text, bool& hasText) {
    ScsText value;
    const uint32_t status =
        SCS_CALL(SCS_RetrieveLocalSettingsValue)(destinationId, section, key, value.Out());
    hasText = status == zavToolsLib::ZAV_OK && value.Get() != nullptr;
    if (hasText) {
        text = value.Get();
    }
    return status;
}

bool RetrieveSetting(int32_t destinationId, const char* section, const char* key,
                     std::string& text) {
    bool hasText = false;
    RetrieveSettingText(destinationId, section, key, text, hasText);
    return hasText;
}

bool RetrieveSettingInRange(int32_t destinationId, const char* section, const char* key,
                            uint32_t minimum, uint32_t maximum, uint32_t& value) {
    std::string text;
    if (!RetrieveSetting(destinationId, section, key, text)) {
        return false;
    }
    const std::string range = std::to_string(minimum) + ".." + std::to_string(maximum);
    uint32_t number = 0;
    const bool isNumber = ParseSettingNumber(text, number);
    const char* problem = nullptr;
    if (!isNumber) {
        problem = "is not a number in ";
    } else if (number < minimum) {
        problem = "is below ";
        value = minimum;
    } else if (number > maximum) {
        problem = "is above ";
        value = maximum;
    } else {
        value = number;
    }
    const asTraceLog* log = GetMSLLoaderTraceLog();
    if (problem != nullptr && zavToolsLib::LogEnabled(log, EQ_TRACE_WARNING)) {
        const std::string message = "Setting [" + std::string(section) + "] " + key + " = '" +
                                    text + "' " + problem + range + "; using " +
                                    std::to_string(value);
        zavToolsLib::Log(log, EQ_TRACE_WARNING, message.c_str(),
                         "zavServices::RetrieveSettingInRange()");
    }
    return isNumber;
}

bool RetrieveSettingSwitch(int32_t destinationId, const char* section, const char* key,
                           bool& value) {
    std::string text;
    if (!RetrieveSetting(destinationId, section, key, text)) {
        return false;
    }
    for (const char* on : {"1", "true", "yes", "on"}) {
        if (strcasecmp(text.c_str(), on) == 0) {
            value = true;
            return true;
        }
    }
    for (const char* off : {"0", "false", "no", "off"}) {
        if (strcasecmp(text.c_str(), off) == 0) {
            value = false;
            return true;
        }
    }
    const asTraceLog* log = GetMSLLoaderTraceLog();
    if (zavToolsLib::LogEnabled(log, EQ_TRACE_WARNING)) {
        const std::string message =
            "Setting [" + std::string(section) + "] " + key + " = '" + text +
            "' is not one of 0/1, false/true, no/yes, off/on; using " + (value ? "true" : "false");
        zavToolsLib::Log(log, EQ_TRACE_WARNING, message.c_str(),
                         "zavServices::RetrieveSettingSwitch()");
    }
    return false;
}

uint32_t GetServerCount(int32_t destinationId, uint32_t& count) {
    return SCS_CALL(SCS_GetServerCount)(destinationId, &count);
}

}  // namespace zavServices
