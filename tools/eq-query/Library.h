// The library, opened at run time through its exported functions only, as any host opens it.
#pragma once

#include <string>

#include "zavEventQuerySvcs.h"

namespace eqquery {

// The library's functions this program uses, for the table and for looking them up.
#define EQ_QUERY_FUNCTIONS(EQ_FN)          \
    EQ_FN(EQ_Init)                         \
    EQ_FN(EQ_ShutDown)                     \
    EQ_FN(EQ_GetErrorMsg)                  \
    EQ_FN(EQ_RegisterErrorCallback)        \
    EQ_FN(EQ_RegisterResultSetCallbacks)   \
    EQ_FN(EQ_SetAuthentication)            \
    EQ_FN(EQ_SetVulnerabilityResultFilter) \
    EQ_FN(EQ_SetObservanceResultFilter)    \
    EQ_FN(EQ_QueryVulnsByAddress)          \
    EQ_FN(EQ_QueryVulnsByGroup)            \
    EQ_FN(EQ_QueryObservancesByAddress)    \
    EQ_FN(EQ_QueryObservancesByGroup)      \
    EQ_FN(EQ_SetMSLLibPath)

struct Library {
    void* handle = nullptr;
// NOLINTNEXTLINE(bugprone-macro-parentheses): name is an identifier, in parentheses no longer one
#define EQ_FN(name) decltype(&::name) name = nullptr;
    EQ_QUERY_FUNCTIONS(EQ_FN)
#undef EQ_FN
};

// Finds and opens the library, its component and its message catalog; false with a reason.
bool OpenLibrary(Library& lib, std::string& error);

}  // namespace eqquery
