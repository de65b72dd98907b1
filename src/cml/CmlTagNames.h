// Element and attribute names (and the two boolean values) of the CML vocabulary used by this
// library: the compound message envelope and the event query messages. One constant per name,
// shared by every class that reads or writes it.
#pragma once

namespace zav::cml {

inline constexpr wchar_t CML_TAG_ZAV[] = L"zav";
inline constexpr wchar_t CML_TAG_CML[] = L"cml";
inline constexpr wchar_t CML_TAG_MESSAGE_ENVELOPE[] = L"message-envelope";
inline constexpr wchar_t CML_TAG_MESSAGE_ID[] = L"message-id";
inline constexpr wchar_t CML_TAG_REQUEST_ID[] = L"request-id";
inline constexpr wchar_t CML_TAG_RESPONSE_TO[] = L"response-to";
inline constexpr wchar_t CML_TAG_CODE[] = L"code";
inline constexpr wchar_t CML_TAG_TEXT[] = L"text";
inline constexpr wchar_t CML_TAG_SCHEMA_VERSION[] = L"schema-version";
inline constexpr wchar_t CML_TAG_NEED_REPLY[] = L"need-reply";
inline constexpr wchar_t CML_TAG_BROADCAST[] = L"broadcast";
inline constexpr wchar_t CML_TAG_SOURCE[] = L"source";
inline constexpr wchar_t CML_TAG_DESTINATION[] = L"destination";
inline constexpr wchar_t CML_TAG_MESSAGE_BODY[] = L"message-body";
inline constexpr wchar_t CML_TAG_REQUEST[] = L"request";
inline constexpr wchar_t CML_TAG_RESPONSE[] = L"response";
inline constexpr wchar_t CML_TAG_XMLNS[] = L"xmlns";
inline constexpr wchar_t CML_TAG_TRUE[] = L"true";
inline constexpr wchar_t CML_TAG_FALSE[] = L"false";
inline constexpr wchar_t CML_TAG_NAME[] = L"name";
inline constexpr wchar_t CML_TAG_NAMESPACE[] = L"namespace";
inline constexpr wchar_t CML_TAG_IP_ADDRESS[] = L"ip-address";
inline constexpr wchar_t CML_TAG_HOST_NAME[] = L"host-name";
inline constexpr wchar_t CML_TAG_AGENT_ID[] = L"agent-id";
inline constexpr wchar_t CML_TAG_AUTH_TOKEN[] = L"auth-token";
inline constexpr wchar_t CML_TAG_AUTH_HASH[] = L"auth-hash";
inline constexpr wchar_t CML_TAG_AGENT_GROUP[] = L"agent-group";
inline constexpr wchar_t CML_TAG_COUNT[] = L"count";
inline constexpr wchar_t CML_TAG_START_CURSOR[] = L"start-cursor";
inline constexpr wchar_t CML_TAG_END_CURSOR[] = L"end-cursor";
inline constexpr wchar_t CML_TAG_TIME_RANGE[] = L"time-range";
inline constexpr wchar_t CML_TAG_START_TIME[] = L"start-time";
inline constexpr wchar_t CML_TAG_END_TIME[] = L"end-time";
inline constexpr wchar_t CML_TAG_RESULT_FILTER[] = L"result-filter";
inline constexpr wchar_t CML_TAG_RESULT_ITEM[] = L"result-item";
inline constexpr wchar_t CML_TAG_RESULT_DATA[] = L"result-data";
inline constexpr wchar_t CML_TAG_RESULT_ID[] = L"result-id";
inline constexpr wchar_t CML_TAG_VULN_TYPE[] = L"vuln-type";
inline constexpr wchar_t CML_TAG_FIXED[] = L"fixed";
inline constexpr wchar_t CML_TAG_ADDRESS_RANGE[] = L"address-range";
inline constexpr wchar_t CML_TAG_START_ADDRESS[] = L"start-address";
inline constexpr wchar_t CML_TAG_END_ADDRESS[] = L"end-address";
inline constexpr wchar_t CML_TAG_ADDRESS_TYPE[] = L"address-type";
inline constexpr wchar_t CML_TAG_GROUP_ID[] = L"group-id";
inline constexpr wchar_t CML_TAG_OBSERVANCE_TYPE[] = L"observance-type";
inline constexpr wchar_t CML_TAG_ANALYSIS_TYPE[] = L"analysis-type";
inline constexpr wchar_t CML_TAG_TYPE_ID_LIST[] = L"type-id-list";
inline constexpr wchar_t CML_TAG_EXCLUDE[] = L"exclude";
inline constexpr wchar_t CML_TAG_VALUE[] = L"value";
inline constexpr wchar_t CML_TAG_TARGET_ANALYSIS[] = L"target-analysis";
inline constexpr wchar_t CML_TAG_SOURCE_ANALYSIS[] = L"source-analysis";
inline constexpr wchar_t CML_TAG_SENSOR_ANALYSIS[] = L"sensor-analysis";
inline constexpr wchar_t CML_TAG_VULNERABILITY_ITEM[] = L"vulnerability-item";
inline constexpr wchar_t CML_TAG_OBSERVANCE_ITEM[] = L"observance-item";
inline constexpr wchar_t CML_TAG_IPV4[] = L"ipv4";
inline constexpr wchar_t CML_TAG_IPV6[] = L"ipv6";
inline constexpr wchar_t CML_TAG_GET_VULNERABILITIES_BY_ADDRESS_REQUEST[] =
    L"get-vulnerabilities-by-address-request";
inline constexpr wchar_t CML_TAG_GET_VULNERABILITIES_BY_GROUP_REQUEST[] =
    L"get-vulnerabilities-by-group-request";
inline constexpr wchar_t CML_TAG_GET_OBSERVANCES_BY_ADDRESS_REQUEST[] =
    L"get-observances-by-address-request";
inline constexpr wchar_t CML_TAG_GET_OBSERVANCES_BY_GROUP_REQUEST[] =
    L"get-observances-by-group-request";
inline constexpr wchar_t CML_TAG_GET_VULNERABILITIES_RESPONSE[] = L"get-vulnerabilities-response";
inline constexpr wchar_t CML_TAG_GET_OBSERVANCES_RESPONSE[] = L"get-observances-response";

}  // namespace zav::cml
