#include "services/BaseSupport.h"

#include <cstdlib>

#include "services/mslLoader_zavSessionConfigSvcs.h"
#include "zavToolsLib/zavStatus.h"

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

bool RetrieveSettingNumber(int32_t destinationId, const char* section, const char* key,
                           uint32_t& value) {
    std::string text;
    if (!RetrieveSetting(destinationId, section, key, text)) {
        return false;
    }
    value = ParseSettingNumber(text.c_str());
    return true;
}

bool RetrieveSettingInRange(int32_t destinationId, const char* section, const char* key,
                            uint32_t minimum, uint32_t maximum, uint32_t& value) {
    std::string text;
    if (!RetrieveSetting(destinationId, section, key, text) || text.empty()) return false;
    char* end = nullptr;
    const unsigned long long number = std::strtoull(text.c_str(), &end, 10);
    if (*end != '\0' || text[0] == '-') return false;
    value = number < minimum ? minimum : number > maximum ? maximum : static_cast<uint32_t>(number);
    return true;
}

uint32_t GetServerCount(int32_t destinationId, uint32_t& count) {
    return SCS_CALL(SCS_GetServerCount)(destinationId, &count);
}

uint32_t ParseSettingNumber(const char* text) {
    return static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
}

}  // namespace zavServices
