// Filling a document's namespace set: one schema version per namespace URI.
#pragma once

#include <string>

#include "cml/CmlNamespace.h"

namespace zav::cml {

// Adds (namespaceURI, version). The same pair again is accepted; another version for a namespace
// already in the set raises CCmlException 0xC738000E under context, naming both versions.
void AddToNamespaceSet(NamespaceSet& namespaces, const std::wstring& namespaceURI,
                       const std::wstring& version, const wchar_t* context);

}  // namespace zav::cml
