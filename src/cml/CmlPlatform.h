// The XML parser platform: initialised once when the library is loaded and terminated at unload.
// The parser library counts Initialize and Terminate, so other users in the process (an
// application that also uses it) keep working.
#pragma once

#include <xercesc/framework/MemoryManager.hpp>

namespace zav::cml {

// Initialises the platform on first call; safe from any static initialiser, in any order.
// Raises CCmlException (0xC7210005) when the parser library cannot start.
void EnsureXmlPlatform();

// The parser library's memory manager, after EnsureXmlPlatform.
xercesc::MemoryManager* GetXmlMemoryManager();

}  // namespace zav::cml
