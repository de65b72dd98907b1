// The library linked directly: the table holds the addresses the dynamic linker bound.
#include <dlfcn.h>

#include <stdexcept>
#include <string>

#include "EqApi.h"

namespace eqit {
namespace {

EqApi Load() {
    EqApi api;
#define EQ_API_BIND(name) api.name = &::name;
    EQ_API_FUNCTIONS(EQ_API_BIND)
#undef EQ_API_BIND
    // The test binary also holds the CML classes for its server; the functions must still come
    // from the shared object, not from a static copy.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(api.EQ_Init), &info) == 0 || info.dli_fname == nullptr ||
        std::string(info.dli_fname).find("libzavEventQuerySvcs5.so") == std::string::npos) {
        throw std::runtime_error("EQ_Init is not bound to libzavEventQuerySvcs5.so");
    }
    return api;
}

}  // namespace

const EqApi& Eq() {
    static const EqApi api = Load();
    return api;
}

const char* EqApiOrigin() { return "linked libzavEventQuerySvcs5.so"; }

}  // namespace eqit
