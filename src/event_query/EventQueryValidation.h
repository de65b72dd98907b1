// The query arguments of the exported interface, how they are checked and normalised before a
// request is built, the trace text that describes a query, and the time conversions offered to
// the application. Pure functions: nothing here touches the service object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace zavEventQuery {

// Address ranges, group ids and type filters must be shorter than this many bytes.
constexpr std::size_t kMaxTextBytes = 4096;

enum class EQueryKind { VulnsByAddress, VulnsByGroup, ObservancesByAddress, ObservancesByGroup };

// The arguments of one query, as the application passed them.
struct CQueryParams {
    EQueryKind eKind = EQueryKind::VulnsByAddress;
    const char* pszStartTime = nullptr;
    const char* pszEndTime = nullptr;
    const char* pszSelector = nullptr;  // address range or group id
    bool bFixed = false;                // vulnerability queries
    int32_t iAnalysisFlags = 0;         // observance queries
    const char* pszTypeFilter = nullptr;
    bool bExclude = false;
    int32_t iCount = 0;  // unsigned for observance queries; the 32 bits are carried unchanged
    uint32_t uClientData = 0;
};

inline bool IsByAddress(EQueryKind kind) {
    return kind == EQueryKind::VulnsByAddress || kind == EQueryKind::ObservancesByAddress;
}
inline bool IsObservanceQuery(EQueryKind kind) {
    return kind == EQueryKind::ObservancesByAddress || kind == EQueryKind::ObservancesByGroup;
}

// Function names in the trace log: the Query form and the Get form of each query.
const char* QueryFunctionName(EQueryKind kind);
const char* GetFunctionName(EQueryKind kind);

// True when a NUL occurs within the first kMaxTextBytes bytes (the text may be unterminated
// beyond that, so it is never read further).
bool IsWithinTextLimit(const char* text);

// One address or two joined by the first "-"; each bound is an IPv4 form (digits and dots, at
// least one dot) or an IPv6 form (digits, a-f and colons, at least one letter or colon). The
// type ("ipv4" or "ipv6") is that of the high bound.
struct CAddressRange {
    std::wstring strLow;
    std::wstring strHigh;
    std::wstring strType;
};
bool ParseAddressRange(const char* text, CAddressRange& range);

// Analysis flags 0 mean source and target analysis; otherwise bits 0, 1 and 2.
struct CAnalysisSwitches {
    bool bSource;
    bool bTarget;
    bool bSensor;
};
CAnalysisSwitches GetAnalysisSwitches(int32_t flags);

// NULL, or digits and commas only.
bool IsValidTypeFilter(const char* filter);

// The type id list and exclude flag a request gets: without a filter, types 2 and 8 excluded.
struct CTypeSelection {
    std::wstring strTypeIdList;
    bool bExclude;
};
CTypeSelection GetTypeSelection(const char* filter, bool exclude);

// A query's arguments as the request receives them: wide, checked and normalised.
struct CPreparedQuery {
    std::wstring strStartTime;
    std::wstring strEndTime;
    std::wstring strSelector;  // group id (by-group queries)
    CAddressRange range;       // by-address queries
    CAnalysisSwitches analysis{true, true, false};
    CTypeSelection types{L"2,8", true};
    std::wstring strAgentId;
};

// Splits at every ",", empty pieces included; NULL gives an empty list.
std::vector<std::wstring> SplitResultFilter(const char* text);

// The trace text of a query (level 8, logged whether or not the query is accepted).
std::string ComposeTraceText(const CQueryParams& params);

// The dateTime text of a UTC time, as the Get forms send it. False when the time cannot be
// broken down.
bool FormatUtcTime(time_t time, std::string& text);

// A dateTime text in UTC (zone "Z" or none) as a time_t. ZAV_E_INVALID_ARG for NULL arguments,
// another zone, or a time that time_t cannot hold (before 1901 or after 2038 where it has 32 bits).
uint32_t ConvertUtcToTime(const char* text, time_t* result);

}  // namespace zavEventQuery
