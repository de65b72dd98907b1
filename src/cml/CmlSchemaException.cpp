#include "cml/CmlSchemaException.h"

#include <tuple>
#include <utility>

namespace zav::cml {

CSchemaIncompatibility::CSchemaIncompatibility(std::wstring namespaceURI,
                                               std::wstring expectedVersion,
                                               std::wstring foundVersion)
    : m_strNamespace(std::move(namespaceURI)),
      m_strExpectedVersion(std::move(expectedVersion)),
      m_strFoundVersion(std::move(foundVersion)) {}

CSchemaIncompatibility::~CSchemaIncompatibility() = default;

bool CSchemaIncompatibility::IsLess(const CSchemaIncompatibility& other) const {
    return std::tie(GetNamespace(), GetExpectedVersion(), GetFoundVersion()) <
           std::tie(other.GetNamespace(), other.GetExpectedVersion(), other.GetFoundVersion());
}

void CSchemaIncompatibility::Assign(const CSchemaIncompatibility& other) {
    if (&other == this) return;
    m_strNamespace = other.GetNamespace();
    m_strExpectedVersion = other.GetExpectedVersion();
    m_strFoundVersion = other.GetFoundVersion();
}

CSchemaIncompatibility* CSchemaIncompatibility::Clone() const {
    return new CSchemaIncompatibility(*this);
}

CSchemaException::CSchemaException(std::wstring context, std::wstring message, uint32_t code)
    : CCmlException(std::move(context), std::move(message), code) {}

CSchemaException::CSchemaException(const CCmlException& e) : CCmlException(e) {}

CSchemaException::~CSchemaException() = default;

void CSchemaException::AddIncompatibility(const std::wstring& namespaceURI,
                                          const std::wstring& expectedVersion,
                                          const std::wstring& foundVersion) {
    m_incompatibilities.emplace(namespaceURI, expectedVersion, foundVersion);
}

}  // namespace zav::cml
