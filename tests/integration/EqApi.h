// The library's exported functions as the tests call them: one table of function pointers, filled
// either from the shared object opened with dlopen (as an agent loads it) or from the directly
// linked library (EqApi.cpp).
#pragma once

#include "zavEventQuerySvcs.h"

// clang-format off
#define EQ_API_FUNCTIONS(X)                                                                \
    X(EQ_Init) X(EQ_ShutDown) X(EQ_RegisterErrorCallback) X(EQ_RegisterResultSetCallbacks) \
    X(EQ_LoadCommSettingsFile) X(EQ_LoadLocalSettingsFile) X(EQ_SaveCommSettings)          \
    X(EQ_SetLanguage) X(EQ_SetAgentId) X(EQ_SetLastGoodAgentId) X(EQ_TestCommSettings)     \
    X(EQ_TestCommSettingsFile) X(EQ_ResetToPrimaryController) X(EQ_SetAuthentication)      \
    X(EQ_SetObservanceResultFilter) X(EQ_SetVulnerabilityResultFilter)                     \
    X(EQ_QueryVulnsByAddress) X(EQ_QueryVulnsByGroup) X(EQ_GetVulnsByAddress)              \
    X(EQ_GetVulnsByGroup) X(EQ_QueryObservancesByAddress) X(EQ_QueryObservancesByGroup)    \
    X(EQ_GetObservanceSummaryByAddress) X(EQ_GetObservanceSummaryByGroup) X(EQ_Allocate)   \
    X(EQ_Free) X(EQ_SetMSLLibPath) X(EQ_ConvertUTCToTime)
// clang-format on

namespace eqit {

struct EqApi {
#define EQ_API_MEMBER(name) decltype(&::name) name = nullptr;
    EQ_API_FUNCTIONS(EQ_API_MEMBER)
#undef EQ_API_MEMBER
};

// The table, loaded on first use; a function that cannot be resolved fails the calling test.
const EqApi& Eq();

}  // namespace eqit
