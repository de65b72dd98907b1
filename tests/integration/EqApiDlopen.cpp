// The shared object opened by path with dlopen and its functions resolved with dlsym, the way a
// host application loads the library.
#include <dlfcn.h>

#include <stdexcept>
#include <string>

#include "EqApi.h"

namespace eqit {
namespace {

// RTLD_NODELETE: a dispatch thread of a shut-down service may still be leaving library code when
// the process ends; the handle is closed, the code stays mapped.
struct CLibraryHandle {
    void* handle = dlopen(ZAV_IT_LIBRARY, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ~CLibraryHandle() {
        if (handle != nullptr) dlclose(handle);
    }
};

EqApi Load() {
    static CLibraryHandle library;
    if (library.handle == nullptr) {
        throw std::runtime_error(std::string("dlopen: ") + dlerror());
    }
    EqApi api;
#define EQ_API_RESOLVE(name)                                                       \
    api.name = reinterpret_cast<decltype(api.name)>(dlsym(library.handle, #name)); \
    if (api.name == nullptr) throw std::runtime_error("dlsym: " #name " not exported");
    EQ_API_FUNCTIONS(EQ_API_RESOLVE)
#undef EQ_API_RESOLVE
    return api;
}

}  // namespace

const EqApi& Eq() {
    static const EqApi api = Load();
    return api;
}

const char* EqApiOrigin() { return "dlopen " ZAV_IT_LIBRARY; }

}  // namespace eqit
