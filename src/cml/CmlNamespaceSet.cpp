#include "cml/CmlNamespaceSet.h"

#include "cml/CmlException.h"

namespace zav::cml {

void AddToNamespaceSet(NamespaceSet& namespaces, const std::wstring& namespaceURI,
                       const std::wstring& version, const wchar_t* context) {
    const auto [it, inserted] = namespaces.emplace(namespaceURI, version);
    if (inserted || it->GetSchemaVersion() == version) return;
    throw CCmlException(
        context,
        L"Namespace/schema-version conflict among descendant elements:  tried to add namespace \"" +
            namespaceURI + L"\" version " + version + L"; set already contains namespace \"" +
            it->GetNamespace() + L"\" version " + it->GetSchemaVersion(),
        CML_E_NAMESPACE_CONFLICT);
}

}  // namespace zav::cml
