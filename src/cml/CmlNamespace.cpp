#include "cml/CmlNamespace.h"

#include <utility>

namespace zav::cml {

const CNamespaceTableEntry NAMESPACE_TABLE[NAMESPACE_TABLE_SIZE] = {
    {CML_NS_XML_SCHEMA, false},
    {CML_NS_BASE, false},
    {CML_NS_CML, true},
    {CML_NS_COMMON, true},
    {CML_NS_PROPERTY, true},
    {CML_NS_POLICY_BASE, true},
    {CML_NS_GROUP_SETTINGS, true},
    {CML_NS_NETWORK_OBJECTS, true},
    {CML_NS_LMI_LINKS, true},
    {CML_NS_SERVER_SETTINGS, true},
    {CML_NS_AVP_SECTIONS, true},
    {CML_NS_RO_AVP_SECTIONS, true},
    {CML_NS_AGENT_STATUS_DETAILS, true},
    {CML_NS_SCHEMA_INVENTORY, true},
    {CML_NS_CORE, true},
    {CML_NS_MESSAGE, true},
    {CML_NS_CORE_MESSAGE_COMMON, true},
    {CML_NS_CORE_POLICY_COMMON, true},
    {CML_NS_CORE_POLICY_BASE, true},
    {CML_NS_DOC_PROPERTY, true},
    {CML_NS_DOC_GROUP_SETTINGS, true},
    {CML_NS_DOC_EXTERNAL_TRUST_SETTINGS, false},
    {CML_NS_DOC_LMI_LINKS, true},
    {CML_NS_DOC_SERVER_SETTINGS, true},
    {CML_NS_DOC_AVP_SECTIONS, true},
    {CML_NS_DOC_RO_AVP_SECTIONS, true},
    {CML_NS_DOC_AGENT_STATUS_DETAILS, true},
    {CML_NS_DOC_CONNECTION_STATUS, false},
    {CML_NS_DOC_SCHEMA_INVENTORY, true},
    {CML_NS_DOC_BASE64_BINARY, true},
    {CML_NS_DOC_NULL_POLICY, true},
    {CML_NS_AGENT_MESSAGES, true},
    {CML_NS_ASSET_MESSAGES, true},
    {CML_NS_EVENT_QUERY_MESSAGES, false},
    {CML_NS_POLICY_MESSAGES, true},
    {CML_NS_SCHEMA_MESSAGES, true},
    {CML_NS_TASK_MESSAGES, true},
};

const std::set<std::wstring>& GetKnownNamespaces() {
    // Built on first use so that load-time callers in other files find it ready.
    // Never destroyed: an abandoned reader may still use it while the process exits.
    static const std::set<std::wstring>* const known = [] {
        auto* set = new std::set<std::wstring>;
        for (const CNamespaceTableEntry& entry : NAMESPACE_TABLE) {
            if (entry.bKnown) set->insert(entry.pszNamespace);
        }
        return set;
    }();
    return *known;
}

bool IsKnownNamespace(const std::wstring& namespaceURI) {
    return GetKnownNamespaces().count(namespaceURI) != 0;
}

CNamespace::CNamespace(std::wstring namespaceURI, std::wstring schemaVersion)
    : m_strNamespace(std::move(namespaceURI)), m_strSchemaVersion(std::move(schemaVersion)) {}

CNamespace::~CNamespace() = default;

void CNamespace::Assign(const CNamespace& other) {
    m_strNamespace = other.GetNamespace();
    m_strSchemaVersion = other.GetSchemaVersion();
}

CNamespace* CNamespace::Clone() const { return new CNamespace(*this); }

bool CNamespace::IsLess(const CNamespace& other) const {
    return m_strNamespace < other.GetNamespace();
}

}  // namespace zav::cml
