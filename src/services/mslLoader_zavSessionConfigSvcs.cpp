#include "services/mslLoader_zavSessionConfigSvcs.h"

#include <cstdio>
#include <new>
#include <string>

#include "services/mslLoader.h"
#include "zavToolsLib/zavStatus.h"

namespace zavServices {

namespace {

constexpr const char* kLoadFunction = "mslLoader_zavSessionConfigSvcs::LoadZavSessionConfigSvcs()";
constexpr const char* kUnloadFunction =
    "mslLoader_zavSessionConfigSvcs::UnloadZavSessionConfigSvcs()";

uint32_t NotLoaded(const char* name) {
    std::printf(
        "%s:  Unable to invoke function.  Make sure Management Services Library is "
        "successfully loaded.\n",
        name);
    std::fflush(stdout);
    return zavToolsLib::ZAV_E_NOT_LOADED;
}

uint32_t FallbackResult_STATUS(const char* name) { return NotLoaded(name); }
void* FallbackResult_POINTER(const char* name) {
    NotLoaded(name);
    return nullptr;
}
void FallbackResult_VOID(const char* name) { NotLoaded(name); }

}  // namespace

// The fallbacks keep the entry points' C signatures; their parameters are unused by design.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
extern "C" {
#define ZAV_SCS_FALLBACK(kind, name, params)                    \
    static ZAV_SCS_RESULT_##kind zavScsFallback_##name params { \
        return FallbackResult_##kind(#name);                    \
    }
ZAV_SCS_ENTRY_POINTS(ZAV_SCS_FALLBACK)
#undef ZAV_SCS_FALLBACK
}
#pragma GCC diagnostic pop

// Constant-initialised, so every slot holds its fallback before any constructor runs.
CZavSessionConfigSvcsTable g_zavSessionConfigSvcs = {
#define ZAV_SCS_INITIAL(kind, name, params) CScsSlot<name##_t>(zavScsFallback_##name),
    ZAV_SCS_ENTRY_POINTS(ZAV_SCS_INITIAL)
#undef ZAV_SCS_INITIAL
};

namespace {

struct CSlotBinding {
    const char* name;
    void (*bind)(void* address);
    void (*reset)();
};

// dlsym hands out object pointers; turning one into a function pointer is what POSIX promises.
constexpr CSlotBinding kBindings[] = {
#define ZAV_SCS_BINDING(kind, name, params)                                                       \
    {#name,                                                                                       \
     [](void* address) { g_zavSessionConfigSvcs.name.Set(reinterpret_cast<name##_t>(address)); }, \
     []() { g_zavSessionConfigSvcs.name.Set(zavScsFallback_##name); }},
    ZAV_SCS_ENTRY_POINTS(ZAV_SCS_BINDING)
#undef ZAV_SCS_BINDING
};

static_assert(sizeof kBindings / sizeof kBindings[0] == ZAV_SCS_ENTRY_POINT_COUNT,
              "one binding per entry point");

// Never destroyed: a dispatch thread may still unload the component while the process exits.
// Built in place, so that nothing at load time allocates or can throw.
alignas(mslLibHandle) unsigned char g_zavSessionConfigSvcsHandleStorage[sizeof(mslLibHandle)];
mslLibHandle& g_hZavSessionConfigSvcs = *new (g_zavSessionConfigSvcsHandleStorage) mslLibHandle;
std::atomic<int32_t> g_iLoadCount{0};

// First load, with the load lock held.
uint32_t OpenAndBind(const char* library) {
    uint32_t status = InitLibHandle(&g_hZavSessionConfigSvcs);
    if (status != 0) {
        mslLog(1, kLoadFunction, "cInitLibHandle() returned an error: %s",
               mslStatusText(status).c_str());
        return status;
    }
    // A failed or partial earlier load must not leave slots pointing into a closed library.
    for (const auto& binding : kBindings) {
        binding.reset();
    }
    status = LoadServiceLibrary(library, &g_hZavSessionConfigSvcs);
    if (status != 0) {
        mslLog(1, kLoadFunction, "LoadServiceLibrary() returned an error: %s",
               mslStatusText(status).c_str());
        DestroyLibHandle(&g_hZavSessionConfigSvcs);
        return status;
    }
    for (const auto& binding : kBindings) {
        void* address = nullptr;
        status = LookupSymbol(&g_hZavSessionConfigSvcs, &address, binding.name);
        if (status != 0) {
            // The library stays open and counted; the caller's unload closes it.
            return status;
        }
        binding.bind(address);
    }
    const std::string path = GetMSLLoaderLibPath();
    zavSCS().SCS_SetMSLLibPath(path.c_str());
    if (GetExternalFileSigExtSet()) {
        const std::string extension = GetMSLLoaderExtSigFileExtension();
        zavSCS().SCS_SetMSLExtSigFileExtension(extension.c_str());
    }
    return 0;
}

}  // namespace

uint32_t LoadZavSessionConfigSvcs(const char* library) {
    CMslLockGuard guard(mslLockId::Load);
    if (guard.TakeStatus() != 0) {
        return guard.TakeStatus();
    }
    uint32_t status = 0;
    if (++g_iLoadCount == 1) {
        status = OpenAndBind(library);
        // Only a load that never opened the library is taken back; an open one is owned by
        // the caller's unload.
        if (status != 0 && g_hZavSessionConfigSvcs.m_pLibrary == nullptr) {
            --g_iLoadCount;
        }
    }
    const uint32_t releaseStatus = guard.Release();
    return status != 0 ? status : releaseStatus;
}

uint32_t UnloadZavSessionConfigSvcs() {
    CMslLockGuard guard(mslLockId::Load);
    if (guard.TakeStatus() != 0) {
        return guard.TakeStatus();
    }
    uint32_t status = 0;
    if (g_iLoadCount > 0 && --g_iLoadCount == 0) {
        status = UnloadServiceLibrary(&g_hZavSessionConfigSvcs);
        if (status != 0) {
            mslLog(1, kUnloadFunction, "UnloadServiceLibrary() returned an error: %s",
                   mslStatusText(status).c_str());
        }
    }
    const int32_t count = g_iLoadCount.load();
    const uint32_t releaseStatus = guard.Release();
    if (count == 0) {
        const uint32_t destroyStatus = DestroyLibHandle(&g_hZavSessionConfigSvcs);
        if (destroyStatus != 0) {
            mslLog(1, kUnloadFunction, "cDestroyLibHandle() returned an error: %s",
                   mslStatusText(destroyStatus).c_str());
            if (status == 0) {
                status = destroyStatus;
            }
        }
    }
    return status != 0 ? status : releaseStatus;
}

int32_t GetZavSessionConfigSvcsLoadCount() { return g_iLoadCount.load(); }

}  // namespace zavServices
