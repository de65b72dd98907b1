#include "cml/AgentInfo.h"

#include <xercesc/dom/DOMException.hpp>
#include <xercesc/dom/DOMNode.hpp>

#include <new>
#include <tuple>

#include "cml/CmlDOM_Element.h"
#include "cml/CmlDOM_Exception.h"
#include "cml/CmlException.h"
#include "cml/CmlNamespace.h"
#include "cml/CmlTagNames.h"
#include "cml/CmlWriter.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml {

namespace {

std::wstring Text(const wchar_t* s) { return s != nullptr ? std::wstring(s) : std::wstring(); }

}  // namespace

CAgentInfo::CAgentInfo(const std::wstring& namespaceURI, const std::wstring& name,
                       const std::wstring& ipAddress, const std::wstring& hostName,
                       const std::wstring& agentId, const std::wstring& authToken,
                       const std::wstring& authHash)
    : m_strName(name),
      m_strNamespace(namespaceURI),
      m_strIPAddress(ipAddress),
      m_strHostName(hostName),
      m_strAgentId(agentId),
      m_strAuthToken(authToken),
      m_strAuthHash(authHash) {}

CAgentInfo::~CAgentInfo() = default;

void CAgentInfo::Assign(const CAgentInfo& other) {
    if (&other == this) return;
    SetName(other.GetName());
    SetNamespace(other.GetNamespace());
    SetIPAddress(other.GetIPAddress());
    SetHostName(other.GetHostName());
    SetAgentId(other.GetAgentId());
    SetAuthToken(other.GetAuthToken());
    SetAuthHash(other.GetAuthHash());
    SetAgentGroups(other.GetAgentGroups());
}

CAgentInfo* CAgentInfo::Clone() const {
    try {
        return new CAgentInfo(*this);
    } catch (const std::bad_alloc&) {
        throw CCmlException(L"Cloning agent info object", L"Insufficient memory",
                            zavToolsLib::ZAV_E_BUFFER_FULL);
    }
}

bool CAgentInfo::IsLess(const CAgentInfo& other) const {
    return std::tie(GetNamespace(), GetName(), GetIPAddress(), GetHostName(), GetAgentId()) <
           std::tie(other.GetNamespace(), other.GetName(), other.GetIPAddress(),
                    other.GetHostName(), other.GetAgentId());
}

bool CAgentInfo::Matches(const CAgentInfo& other) const {
    const auto fits = [](const std::wstring& pattern, const std::wstring& value) {
        return pattern.empty() || pattern == value;
    };
    return GetNamespace() == other.GetNamespace() && fits(other.GetName(), GetName()) &&
           fits(other.GetIPAddress(), GetIPAddress()) && fits(other.GetHostName(), GetHostName()) &&
           fits(other.GetAgentId(), GetAgentId());
}

bool CAgentInfo::IsMemberOfGroup(const std::wstring& group) const {
    return m_agentGroups.count(group) != 0;
}

bool CAgentInfo::HasAgentGroup(const std::wstring& group) const {
    return m_agentGroups.count(group) != 0;
}

uint32_t CAgentInfo::GetAgentGroupCount() const {
    return static_cast<uint32_t>(m_agentGroups.size());
}

void CAgentInfo::Deserialize(const CCmlDOM_Element& element) {
    m_agentGroups.clear();
    try {
        SetElementName(Text(element.getNodeName()));
        SetName(Text(element.getAttribute(CML_TAG_NAME)));
        SetNamespace(Text(element.getAttribute(CML_TAG_NAMESPACE)));
        SetIPAddress(Text(element.getAttribute(CML_TAG_IP_ADDRESS)));
        SetHostName(Text(element.getAttribute(CML_TAG_HOST_NAME)));
        SetAgentId(Text(element.getAttribute(CML_TAG_AGENT_ID)));
        SetAuthToken(Text(element.getAttribute(CML_TAG_AUTH_TOKEN)));
        SetAuthHash(Text(element.getAttribute(CML_TAG_AUTH_HASH)));
        // Groups count only in the Property namespace, whatever namespace the writer used.
        const std::wstring groupNamespace = CML_NS_DOC_PROPERTY;
        for (CCmlDOM_Node child = element.getFirstChild(); !child.IsNull();
             child = child.getNextSibling()) {
            if (child.getNodeType() != xercesc::DOMNode::ELEMENT_NODE) continue;
            if (Text(child.getNamespaceURI()) != groupNamespace ||
                Text(child.getNodeName()) != CML_TAG_AGENT_GROUP) {
                continue;
            }
            CCmlDOM_Element group;
            group.SetDOMElement(child.GetDOMNode());
            AddAgentGroup(Text(group.getAttribute(CML_TAG_NAME)));
        }
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(L"Processing agent-info element");
    }
}

template <class Stream>
void CAgentInfo::WriteElement(Stream& os, uint32_t level) const {
    zav::cml::WriteElement(
        os, level, GetElementName(), !m_agentGroups.empty(),
        [this](Stream& out) { SerializeAttributes(out); },
        [this](Stream& out, uint32_t inner) { SerializeContent(out, inner); });
}

template <class Stream>
void CAgentInfo::WriteAttributes(Stream& os) const {
    // Namespace and IP address are identifiers; everything else is free text.
    const auto escaped = [&os](const wchar_t* name, const std::wstring& value) {
        if (!value.empty()) WriteEscapedAttribute(os, name, value);
    };
    const auto plain = [&os](const wchar_t* name, const std::wstring& value) {
        if (!value.empty()) WriteAttribute(os, name, value);
    };
    escaped(CML_TAG_NAME, GetName());
    plain(CML_TAG_NAMESPACE, GetNamespace());
    plain(CML_TAG_IP_ADDRESS, GetIPAddress());
    escaped(CML_TAG_HOST_NAME, GetHostName());
    escaped(CML_TAG_AGENT_ID, GetAgentId());
    escaped(CML_TAG_AUTH_TOKEN, GetAuthToken());
    escaped(CML_TAG_AUTH_HASH, GetAuthHash());
}

template <class Stream>
int CAgentInfo::WriteContent(Stream& os, uint32_t level) const {
    for (const std::wstring& group : m_agentGroups) {
        WriteStartTagOpen(os, level, CML_TAG_AGENT_GROUP);
        WriteEscapedAttribute(os, CML_TAG_NAME, group);
        WriteText(os, L"/>");
        WriteLineEnd(os);
    }
    return static_cast<int>(m_agentGroups.size());
}

void CAgentInfo::SerializeElement(std::wostream& os, uint32_t level) const {
    WriteElement(os, level);
}
void CAgentInfo::SerializeElement(std::ostream& os, uint32_t level) const {
    WriteElement(os, level);
}
void CAgentInfo::SerializeAttributes(std::wostream& os) const { WriteAttributes(os); }
void CAgentInfo::SerializeAttributes(std::ostream& os) const { WriteAttributes(os); }
int CAgentInfo::SerializeContent(std::wostream& os, uint32_t level) const {
    return WriteContent(os, level);
}
int CAgentInfo::SerializeContent(std::ostream& os, uint32_t level) const {
    return WriteContent(os, level);
}

}  // namespace zav::cml
