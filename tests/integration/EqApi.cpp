// The table filled the way the binary gets the library: with ZAV_IT_LIBRARY, the shared object
// opened by path with dlopen and its functions resolved with dlsym, as a host application loads
// it; without, the addresses the dynamic linker bound for the linked library.
#include "EqApi.h"

#include <dlfcn.h>

#include <stdexcept>
#include <string>

namespace eqit {
namespace {

EqApi Load() {
    EqApi api;
#ifdef ZAV_IT_LIBRARY
    // RTLD_NODELETE: a dispatch thread of a shut-down service may still be leaving library code
    // when the process ends; the handle is closed, the code stays mapped.
    static const struct CLibrary {
        void* handle = dlopen(ZAV_IT_LIBRARY, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        ~CLibrary() {
            if (handle != nullptr) dlclose(handle);
        }
    } library;
    if (library.handle == nullptr) throw std::runtime_error(std::string("dlopen: ") + dlerror());
#define EQ_API_RESOLVE(name)                                                       \
    api.name = reinterpret_cast<decltype(api.name)>(dlsym(library.handle, #name)); \
    if (api.name == nullptr) throw std::runtime_error("dlsym: " #name " not exported");
    EQ_API_FUNCTIONS(EQ_API_RESOLVE)
#undef EQ_API_RESOLVE
#else
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
#endif
    return api;
}

}  // namespace

const EqApi& Eq() {
    static const EqApi api = Load();
    return api;
}

}  // namespace eqit
