#include "Library.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace eqquery {

namespace {

std::string ExecutableDir() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) return ".";
    path[n] = '\0';
    std::string text(path);
    return text.substr(0, text.rfind('/'));
}

bool IsFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Finds the library, the component and the message catalog: in the build tree when this is the
// build tree's eq-query, else beside the installed program. The catalog is opened when the
// library loads, so NLSPATH (only when the user has not set one) must be set before dlopen.
// The environment and dlerror are safe to use here: no thread runs before the library starts.
}  // namespace

bool OpenLibrary(Library& lib, std::string& error) {
    const std::string here = ExecutableDir();
    std::string library = "libzavEventQuerySvcs5.so";
    std::string componentDir;
    if (here == EQ_QUERY_BUILD_DIR && IsFile(EQ_QUERY_BUILD_LIBRARY)) {
        library = EQ_QUERY_BUILD_LIBRARY;
        componentDir = EQ_QUERY_BUILD_COMPONENT_DIR;
        if (std::getenv("NLSPATH") == nullptr) {  // NOLINT(concurrency-mt-unsafe): one thread
            const std::string nls = std::string(EQ_QUERY_BUILD_NLS_DIR) + "/C/LC_MESSAGES/%N.cat";
            setenv("NLSPATH", nls.c_str(), 0);  // NOLINT(concurrency-mt-unsafe): one thread
        }
    } else if (IsFile(here + "/../" EQ_QUERY_INSTALL_LIBDIR "/libzavEventQuerySvcs5.so")) {
        library = here + "/../" EQ_QUERY_INSTALL_LIBDIR "/libzavEventQuerySvcs5.so";
    }
    lib.handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib.handle == nullptr) {
        error = dlerror();  // NOLINT(concurrency-mt-unsafe): one thread, nothing loaded
        return false;
    }
    bool ok = true;
#define EQ_FN(name)                                                            \
    lib.name = reinterpret_cast<decltype(lib.name)>(dlsym(lib.handle, #name)); \
    if (lib.name == nullptr) {                                                 \
        error = std::string("missing ") + #name;                               \
        ok = false;                                                            \
    }
    EQ_QUERY_FUNCTIONS(EQ_FN)
#undef EQ_FN
    if (ok && !componentDir.empty()) lib.EQ_SetMSLLibPath(componentDir.c_str());
    return ok;
}

}  // namespace eqquery
