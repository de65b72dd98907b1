// Where the code of this library lives on disk.
#pragma once

#include <string>

namespace zavToolsLib {

// The folder of the file that holds this code (libzavEventQuerySvcs5.so, or a program linked
// with zavcore), symlinks resolved; "" when it cannot be told. Call it early (while the library
// is being loaded) when the answer must not depend on the host's working directory: the name
// the dynamic linker kept may be relative.
std::string ModuleDirectory();

}  // namespace zavToolsLib
