// CML namespaces: the namespace base, the fixed table of namespace URIs, the known-namespace set,
// the schema versions this library uses, and CNamespace, one entry of a document's namespace set.
#pragma once

#include <cstddef>
#include <set>
#include <string>

namespace zav::cml {

// Every CML namespace is this base followed by a path; the base alone is the namespace of the
// outer root element of compound documents.
#define ZAV_CML_NAMESPACE_BASE L"http://schemas.zav.example.org"

inline constexpr wchar_t NAMESPACE_BASE[] = ZAV_CML_NAMESPACE_BASE;
inline constexpr wchar_t CML_PATH[] = L"/cml";
inline constexpr wchar_t CML_MESSAGE_PATH[] = L"/cml/Message";
inline constexpr wchar_t EVENT_QUERY_MESSAGES_PATH[] = L"/cml/Message/EventQueryMessages";

// The namespace table, in table order.
#define ZAV_CML_NS(path) ZAV_CML_NAMESPACE_BASE path
inline constexpr wchar_t CML_NS_XML_SCHEMA[] = L"http://www.w3.org/2001/XMLSchema";
inline constexpr wchar_t CML_NS_BASE[] = ZAV_CML_NAMESPACE_BASE;
inline constexpr wchar_t CML_NS_CML[] = ZAV_CML_NS(L"/cml");
inline constexpr wchar_t CML_NS_COMMON[] = ZAV_CML_NS(L"/cml/common");
inline constexpr wchar_t CML_NS_PROPERTY[] = ZAV_CML_NS(L"/cml/property");
inline constexpr wchar_t CML_NS_POLICY_BASE[] = ZAV_CML_NS(L"/cml/PolicyBase");
inline constexpr wchar_t CML_NS_GROUP_SETTINGS[] = ZAV_CML_NS(L"/cml/GroupSettings");
inline constexpr wchar_t CML_NS_NETWORK_OBJECTS[] = ZAV_CML_NS(L"/cml/NetworkObjects");
inline constexpr wchar_t CML_NS_LMI_LINKS[] = ZAV_CML_NS(L"/cml/LmiLinks");
inline constexpr wchar_t CML_NS_SERVER_SETTINGS[] = ZAV_CML_NS(L"/cml/ServerSettings");
inline constexpr wchar_t CML_NS_AVP_SECTIONS[] = ZAV_CML_NS(L"/cml/AvpSections");
inline constexpr wchar_t CML_NS_RO_AVP_SECTIONS[] = ZAV_CML_NS(L"/cml/RoAvpSections");
inline constexpr wchar_t CML_NS_AGENT_STATUS_DETAILS[] = ZAV_CML_NS(L"/cml/AgentStatusDetails");
inline constexpr wchar_t CML_NS_SCHEMA_INVENTORY[] = ZAV_CML_NS(L"/cml/SchemaInventory");
inline constexpr wchar_t CML_NS_CORE[] = ZAV_CML_NS(L"/cml/Core");
inline constexpr wchar_t CML_NS_MESSAGE[] = ZAV_CML_NS(L"/cml/Message");
inline constexpr wchar_t CML_NS_CORE_MESSAGE_COMMON[] = ZAV_CML_NS(L"/cml/Core/MessageCommon");
inline constexpr wchar_t CML_NS_CORE_POLICY_COMMON[] = ZAV_CML_NS(L"/cml/Core/PolicyCommon");
inline constexpr wchar_t CML_NS_CORE_POLICY_BASE[] = ZAV_CML_NS(L"/cml/Core/PolicyBase");
inline constexpr wchar_t CML_NS_DOC_PROPERTY[] = ZAV_CML_NS(L"/cml/CommonDocuments/Property");
inline constexpr wchar_t CML_NS_DOC_GROUP_SETTINGS[] =
    ZAV_CML_NS(L"/cml/CommonDocuments/GroupSettings");
inline constexpr wchar_t CML_NS_DOC_EXTERNAL_TRUST_SETTINGS[] =
    ZAV_CML_NS(L"/cml/CommonDocuments/ExternalTrustSettings");
inline constexpr wchar_t CML_NS_DOC_LMI_LINKS[] = ZAV_CML_NS(L"/cml/CommonDocuments/LmiLinks");
inline constexpr wchar_t CML_NS_DOC_SERVER_SETTINGS[] =
    ZAV_CML_NS(L"/cml/CommonDocuments/ServerSettings");
inline constexpr wchar_t CML_NS_DOC_AVP_SECTIONS[] =
    ZAV_CML_NS(L"/cml/CommonDocuments/AvpSections");
inline constexpr wchar_t CML_NS_DOC_RO_AVP_SECTIONS[] =
    ZAV_CML_NS(L"/cml/CommonDocuments/RoAvpSections");
inline constexpr wchar_t CML_NS_DOC_AGENT_STATUS_DETAILS[] =
    ZAV_CML_NS(L"/cml/CommonDocuments/AgentStatusDetails");
inline constexpr wchar_t CML_NS_DOC_CONNECTION_STATUS[] =
    ZAV_CML_NS(L"/cml/CommonDocuments/ConnectionStatus");
inline constexpr wchar_t CML_NS_DOC_SCHEMA_INVENTORY[] =
    ZAV_CML_NS(L"/cml/CommonDocuments/SchemaInventory");
inline constexpr wchar_t CML_NS_DOC_BASE64_BINARY[] =
    ZAV_CML_NS(L"/cml/CommonDocuments/Base64Binary");
inline constexpr wchar_t CML_NS_DOC_NULL_POLICY[] = ZAV_CML_NS(L"/cml/CommonDocuments/NullPolicy");
inline constexpr wchar_t CML_NS_AGENT_MESSAGES[] = ZAV_CML_NS(L"/cml/Message/AgentMessages");
inline constexpr wchar_t CML_NS_ASSET_MESSAGES[] = ZAV_CML_NS(L"/cml/Message/AssetMessages");
inline constexpr wchar_t CML_NS_EVENT_QUERY_MESSAGES[] =
    ZAV_CML_NS(L"/cml/Message/EventQueryMessages");
inline constexpr wchar_t CML_NS_POLICY_MESSAGES[] = ZAV_CML_NS(L"/cml/Message/PolicyMessages");
inline constexpr wchar_t CML_NS_SCHEMA_MESSAGES[] = ZAV_CML_NS(L"/cml/Message/SchemaMessages");
inline constexpr wchar_t CML_NS_TASK_MESSAGES[] = ZAV_CML_NS(L"/cml/Message/TaskMessages");
#undef ZAV_CML_NS

struct CNamespaceTableEntry {
    const wchar_t* pszNamespace;
    bool bKnown;  // member of the known-namespace set
};
inline constexpr std::size_t NAMESPACE_TABLE_SIZE = 37;
extern const CNamespaceTableEntry NAMESPACE_TABLE[NAMESPACE_TABLE_SIZE];

// The known-namespace set, filled from the table's marked rows.
const std::set<std::wstring>& GetKnownNamespaces();
bool IsKnownNamespace(const std::wstring& namespaceURI);

// Schema versions.
inline constexpr wchar_t MESSAGE_SCHEMA_VERSION[] = L"1.0.1";         // outer root, default
inline constexpr wchar_t LEGACY_MESSAGE_SCHEMA_VERSION[] = L"1.0.0";  // outer root, legacy form
inline constexpr wchar_t CML_LEGACY_SCHEMA_VERSION[] = L"2.4.2";      // cml in base + /cml
inline constexpr wchar_t CML_MESSAGE_SCHEMA_VERSION[] = L"1.0.0";     // cml in base + /cml/Message
inline constexpr wchar_t EVENT_QUERY_MESSAGES_SCHEMA_VERSION[] = L"1.0.0";
inline constexpr wchar_t LEGACY_BODY_SCHEMA_VERSION[] = L"2.4.1";  // body moved into legacy form

// One entry of a namespace set: a namespace URI and the schema version declared for it.
class CNamespace {
public:
    CNamespace() = default;
    CNamespace(std::wstring namespaceURI, std::wstring schemaVersion);
    CNamespace(const CNamespace&) = default;
    CNamespace& operator=(const CNamespace&) = default;

    virtual void Assign(const CNamespace& other);
    virtual ~CNamespace();
    virtual CNamespace* Clone() const;
    // Orders by namespace URI only, code point by code point; the version takes no part.
    virtual bool IsLess(const CNamespace& other) const;
    virtual const std::wstring& GetNamespace() const { return m_strNamespace; }
    virtual const std::wstring& GetSchemaVersion() const { return m_strSchemaVersion; }

private:
    std::wstring m_strNamespace;
    std::wstring m_strSchemaVersion;
};

struct CNamespaceLess {
    bool operator()(const CNamespace& a, const CNamespace& b) const { return a.IsLess(b); }
};

// At most one entry per namespace URI; inserting a namespace again keeps the first entry.
using NamespaceSet = std::set<CNamespace, CNamespaceLess>;

}  // namespace zav::cml
