// The session configuration component (libzavSessionConfigSvcs5.so) as the library sees it: one
// process-wide table with a slot per SCS_ entry point, filled by a counted load.
//
// Calling an entry point: through the table, which type-checks the arguments like a direct call:
//     uint32_t status = zavServices::zavSCS().SCS_GetServerCount(destinationId, &count);
//     SCS_CALL(SCS_Free)(text);          // the same, usable from any namespace
// A slot whose symbol is not bound prints "<name>:  Unable to invoke function.  Make sure
// Management Services Library is successfully loaded." to stdout and returns ZAV_E_NOT_LOADED
// (SCS_Allocate: null; SCS_Free, SCS_SetMSLLibPath, SCS_SetMSLExtSigFileExtension: nothing).
// Callers must not call an entry point after their last unload.
#pragma once

#include <atomic>
#include <cstdint>

#include "services/zavSessionConfigSvcs.h"

namespace zavServices {

// File name of the component.
constexpr const char* ZAV_SCS_LIBRARY_NAME = "libzavSessionConfigSvcs5.so";

template <typename F>
class CScsSlot;

// One entry point: an atomically replaced function pointer, callable with the entry point's own
// parameter types.
template <typename R, typename... A>
class CScsSlot<R (*)(A...)> {
public:
    using Function = R (*)(A...);

    constexpr explicit CScsSlot(Function fallback) noexcept : m_pFunction(fallback) {}
    CScsSlot(const CScsSlot&) = delete;
    CScsSlot& operator=(const CScsSlot&) = delete;

    R operator()(A... arguments) const {
        return m_pFunction.load(std::memory_order_acquire)(arguments...);
    }
    Function Get() const { return m_pFunction.load(std::memory_order_acquire); }
    void Set(Function function) { m_pFunction.store(function, std::memory_order_release); }

private:
    std::atomic<Function> m_pFunction;
};

// The slots in binding order, named after their entry points.
struct CZavSessionConfigSvcsTable {
// NOLINTNEXTLINE(bugprone-macro-parentheses): name is a member's name, in parentheses no longer one
#define ZAV_SCS_SLOT(kind, name, params) CScsSlot<name##_t> name;
    ZAV_SCS_ENTRY_POINTS(ZAV_SCS_SLOT)
#undef ZAV_SCS_SLOT
};

extern CZavSessionConfigSvcsTable g_zavSessionConfigSvcs;

inline CZavSessionConfigSvcsTable& zavSCS() { return g_zavSessionConfigSvcs; }

#define SCS_CALL(name) (::zavServices::zavSCS().name)

// Counted load: the first opens library (usually ZAV_SCS_LIBRARY_NAME; the loader's directory
// prefix applies), sets every slot back to its fallback, binds the slots in order and hands the
// component the loader's directory and signature extension; later loads only count. A failed
// open leaves the count as it was; a missing symbol ends the load with ZAV_E_LIB_SYMBOL and
// leaves the count incremented and the library open (the matching unload closes it), with the
// slots from that symbol on at their fallbacks.
// Returns 0 or the first failure (the release of the load lock included).
uint32_t LoadZavSessionConfigSvcs(const char* library);

// Counted unload: the unload that brings the count to 0 closes the library. Slots are not reset.
uint32_t UnloadZavSessionConfigSvcs();

// The current load count.
int32_t GetZavSessionConfigSvcsLoadCount();

}  // namespace zavServices
