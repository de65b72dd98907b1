// A weak definition of every entry point: the entry points this component does not implement keep
// it and answer SCS_E_NOT_SUPPORTED; the implemented ones (Exports.cpp) are strong definitions and
// replace it at link time. Generated from the interface's list, so no entry point can be missing.
#include <string>

#include "ScsEntryPoints.h"
#include "SessionConfig.h"

namespace {

uint32_t NotSupported(const char* pFunction) noexcept {
    try {
        zavscs::CSessionConfig::Instance().Log().Write(zavscs::TRACE_WARNING, "not supported",
                                                       pFunction);
    } catch (...) {
        // The answer does not depend on the trace line.
    }
    return SCS_E_NOT_SUPPORTED;
}

}  // namespace

#pragma GCC diagnostic ignored "-Wunused-parameter"

#define ZAV_SCS_FALLBACK_STATUS(name) return NotSupported(#name);
#define ZAV_SCS_FALLBACK_POINTER(name) \
    NotSupported(#name);               \
    return nullptr;
#define ZAV_SCS_FALLBACK_VOID(name) NotSupported(#name);
#define ZAV_SCS_FALLBACK(kind, name, params)                             \
    extern "C" __attribute__((weak)) ZAV_SCS_RESULT_##kind name params { \
        ZAV_SCS_FALLBACK_##kind(name)                                    \
    }
ZAV_SCS_ENTRY_POINTS(ZAV_SCS_FALLBACK)
