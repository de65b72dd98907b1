#include "zavToolsLib/ModuleDirectory.h"

#include <dlfcn.h>
#include <link.h>

#include <climits>
#include <cstdlib>

namespace zavToolsLib {

std::string ModuleDirectory() {
    Dl_info info{};
    link_map* map = nullptr;
    if (dladdr1(reinterpret_cast<void*>(&ModuleDirectory), &info, reinterpret_cast<void**>(&map),
                RTLD_DL_LINKMAP) == 0) {
        return "";
    }
    // The main program's entry has no name.
    const char* file = map != nullptr && map->l_name != nullptr && map->l_name[0] != '\0'
                           ? map->l_name
                           : "/proc/self/exe";
    char resolved[PATH_MAX];
    if (realpath(file, resolved) == nullptr) {
        return "";
    }
    std::string directory = resolved;
    const size_t slash = directory.rfind('/');
    return slash == 0 ? "/" : directory.substr(0, slash);
}

}  // namespace zavToolsLib
