#include "event_query/EventQueryValidation.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sstream>

#include "cml/XmlDateTime.h"
#include "zavToolsLib/ConvertUTF.h"
#include "zavToolsLib/zavStatus.h"

namespace zavEventQuery {

namespace {

constexpr char kDottedChars[] = "0123456789.";
constexpr char kColonChars[] = "0123456789abcdef:";

enum class EAddressForm { Invalid, IPv4, IPv6 };

// A bound must be made only of the characters of exactly one form, with the character that
// tells the form apart from a plain number.
EAddressForm ClassifyBound(const std::string& bound) {
    if (bound.empty()) {
        return EAddressForm::Invalid;
    }
    const bool dotted = bound.find_first_not_of(kDottedChars) == std::string::npos;
    const bool colon = bound.find_first_not_of(kColonChars) == std::string::npos;
    if (dotted && bound.find('.') != std::string::npos) {
        return EAddressForm::IPv4;
    }
    if (colon && bound.find_first_of("abcdef:") != std::string::npos) {
        return EAddressForm::IPv6;
    }
    return EAddressForm::Invalid;
}

std::string Hex32(uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

const char* Bool(bool value) { return value ? "true" : "false"; }

// Seconds since 1970-01-01T00:00:00Z of the fields taken as UTC. Fields outside their usual
// range carry over as mktime would carry them (13th month, 30 February, 24:00). Computed here
// rather than by mktime and the local zone's offset: near the ends of a 32-bit time_t, mktime
// fails in every zone whose local time is past the end while UTC is not.
int64_t UtcSeconds(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute,
                   int64_t second) {
    // Months from March, so that the leap day ends the year.
    int64_t monthIndex = month - 1;
    const int64_t carry = monthIndex >= 0 ? monthIndex / 12 : -((11 - monthIndex) / 12);
    year += carry;
    monthIndex -= carry * 12;
    const int64_t marchYear = monthIndex < 2 ? year - 1 : year;
    const int64_t fromMarch = monthIndex < 2 ? monthIndex + 10 : monthIndex - 2;
    const int64_t era = (marchYear >= 0 ? marchYear : marchYear - 399) / 400;
    const int64_t yearOfEra = marchYear - era * 400;
    const int64_t dayOfYear = (153 * fromMarch + 2) / 5;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const int64_t days = era * 146097 + dayOfEra - 719468 + (day - 1);
    return ((days * 24 + hour) * 60 + minute) * 60 + second;
}

}  // namespace

const char* QueryFunctionName(EQueryKind kind) {
    switch (kind) {
        case EQueryKind::VulnsByAddress:
            return "CEventQueryServices::QueryVulnsByAddress";
        case EQueryKind::VulnsByGroup:
            return "CEventQueryServices::QueryVulnsByGroup";
        case EQueryKind::ObservancesByAddress:
            return "CEventQueryServices::QueryObservancesByAddress";
        case EQueryKind::ObservancesByGroup:
            break;
    }
    return "CEventQueryServices::QueryObservancesByGroup";
}

const char* GetFunctionName(EQueryKind kind) {
    switch (kind) {
        case EQueryKind::VulnsByAddress:
            return "CEventQueryServices::GetVulnsByAddress";
        case EQueryKind::VulnsByGroup:
            return "CEventQueryServices::GetVulnsByGroup";
        case EQueryKind::ObservancesByAddress:
            return "CEventQueryServices::GetObservanceSummaryByAddress";
        case EQueryKind::ObservancesByGroup:
            break;
    }
    return "CEventQueryServices::GetObservanceSummaryByGroup";
}

bool IsWithinTextLimit(const char* text) { return strnlen(text, kMaxTextBytes) < kMaxTextBytes; }

bool ParseAddressRange(const char* text, CAddressRange& range) {
    const std::string whole(text);
    const std::size_t dash = whole.find('-');
    const std::string low = dash == std::string::npos ? whole : whole.substr(0, dash);
    const std::string high = dash == std::string::npos ? whole : whole.substr(dash + 1);
    if (ClassifyBound(low) == EAddressForm::Invalid) {
        return false;
    }
    const EAddressForm type = ClassifyBound(high);
    if (type == EAddressForm::Invalid) {
        return false;
    }
    range.strLow = zavToolsLib::FromUtf8(low);
    range.strHigh = zavToolsLib::FromUtf8(high);
    range.strType = type == EAddressForm::IPv4 ? L"ipv4" : L"ipv6";
    return true;
}

CAnalysisSwitches GetAnalysisSwitches(int32_t flags) {
    if (flags == 0) {
        return {true, true, false};
    }
    return {(flags & 0x1) != 0, (flags & 0x2) != 0, (flags & 0x4) != 0};
}

bool IsValidTypeFilter(const char* filter) {
    return filter == nullptr || filter[strspn(filter, "0123456789,")] == '\0';
}

CTypeSelection GetTypeSelection(const char* filter, bool exclude) {
    if (filter == nullptr) {
        return {L"2,8", true};
    }
    return {zavToolsLib::FromUtf8(filter), exclude};
}

std::vector<std::wstring> SplitResultFilter(const char* text) {
    std::vector<std::wstring> entries;
    if (text == nullptr) {
        return entries;
    }
    const std::string whole(text);
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = whole.find(',', start);
        entries.push_back(zavToolsLib::FromUtf8(whole.substr(start, comma - start)));
        if (comma == std::string::npos) {
            return entries;
        }
        start = comma + 1;
    }
}

std::string ComposeTraceText(const CQueryParams& params) {
    std::ostringstream os;
    switch (params.eKind) {
        case EQueryKind::VulnsByAddress:
            os << "Queueing vulnerabilities by address request: ";
            break;
        case EQueryKind::VulnsByGroup:
            os << "Queueing vulnerabilities by group request: ";
            break;
        case EQueryKind::ObservancesByAddress:
            os << "Queueing observance summary by address request: ";
            break;
        case EQueryKind::ObservancesByGroup:
            os << "Queueing observance summary by group request: ";
            break;
    }
    os << "\n\tTime Range: " << params.pszStartTime << " - " << params.pszEndTime;
    os << (IsByAddress(params.eKind) ? "\n\tAddress Range: " : "\n\tGroup ID: ")
       << params.pszSelector;
    if (IsObservanceQuery(params.eKind)) {
        os << "\n\tAnalysis Flags: " << Hex32(static_cast<uint32_t>(params.iAnalysisFlags))
           << "\n\tObservance Type Filter: "
           << (params.pszTypeFilter != nullptr ? params.pszTypeFilter : "")
           << "\n\tExclude Observance Types: " << Bool(params.bExclude);
    } else {
        os << "\n\tFixed: " << Bool(params.bFixed);
    }
    os << "\n\tCount: " << params.iCount << "\n\tClient Data: " << Hex32(params.uClientData);
    return os.str();
}

bool FormatUtcTime(time_t time, std::string& text) {
    struct tm parts {};
    if (gmtime_r(&time, &parts) == nullptr) {
        return false;
    }
    zav::cml::XmlUtils::CDateTime value;
    value.SetYear(parts.tm_year + 1900);
    value.SetMonth(parts.tm_mon + 1);
    value.SetDay(parts.tm_mday);
    value.SetHour(parts.tm_hour);
    value.SetMinute(parts.tm_min);
    value.SetSeconds(static_cast<double>(parts.tm_sec));
    value.SetTimeZonePresent(true);
    value.SetTimeZoneHours(0);
    value.SetTimeZoneMinutes(0);
    std::ostringstream os;
    value.Write(os);
    text = os.str();
    return true;
}

uint32_t ConvertUtcToTime(const char* text, time_t* result) {
    if (text == nullptr || result == nullptr) {
        return zavToolsLib::ZAV_E_INVALID_ARG;
    }
    zav::cml::XmlUtils::CDateTime value;
    value.SetFromText(zavToolsLib::FromUtf8(text));
    if (value.GetTimeZoneHours() != 0 || value.GetTimeZoneMinutes() != 0) {
        return zavToolsLib::ZAV_E_INVALID_ARG;
    }
    // The seconds go into a broken-down time's int field, cut to whole seconds.
    const double seconds = value.GetSeconds();
    if (!(seconds > static_cast<double>(INT_MIN) - 1.0 &&
          seconds < static_cast<double>(INT_MAX) + 1.0)) {
        return zavToolsLib::ZAV_E_INVALID_ARG;
    }
    const int64_t utc = UtcSeconds(value.GetYear(), value.GetMonth(), value.GetDay(),
                                   value.GetHour(), value.GetMinute(), static_cast<int>(seconds));
    // A 32-bit time_t ends in December 1901 and January 2038; beyond that the value would wrap.
    if (utc < static_cast<int64_t>(std::numeric_limits<time_t>::min()) ||
        utc > static_cast<int64_t>(std::numeric_limits<time_t>::max())) {
        return zavToolsLib::ZAV_E_INVALID_ARG;
    }
    *result = static_cast<time_t>(utc);
    return zavToolsLib::ZAV_OK;
}

}  // namespace zavEventQuery
