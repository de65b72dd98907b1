// CAgentInfo describes one party of a CML message: the sender (the envelope's source element) or
// a receiver (a destination element). The owner sets the element name.
#pragma once

#include <cstdint>
#include <ostream>
#include <set>
#include <string>

namespace zav::cml {

class CCmlDOM_Element;

class CAgentInfo {
public:
    // Agent groups, ascending by code point, each once.
    using GroupSet = std::set<std::wstring>;

    CAgentInfo() = default;
    CAgentInfo(const std::wstring& namespaceURI, const std::wstring& name,
               const std::wstring& ipAddress, const std::wstring& hostName,
               const std::wstring& agentId, const std::wstring& authToken,
               const std::wstring& authHash);
    CAgentInfo(const CAgentInfo&) = default;
    CAgentInfo& operator=(const CAgentInfo&) = default;

    virtual ~CAgentInfo();
    // Copies the seven texts and the groups; the element name stays.
    virtual void Assign(const CAgentInfo& other);
    // Raises "Cloning agent info object" / "Insufficient memory" when allocation fails.
    virtual CAgentInfo* Clone() const;
    // By namespace, name, IP address, host name, agent id.
    virtual bool IsLess(const CAgentInfo& other) const;
    // Same namespace, and each of other's name, IP address, host name and agent id empty or
    // equal to ours: other is a pattern.
    virtual bool Matches(const CAgentInfo& other) const;

    virtual const std::wstring& GetElementName() const { return m_strElementName; }
    virtual const std::wstring& GetName() const { return m_strName; }
    virtual const std::wstring& GetNamespace() const { return m_strNamespace; }
    virtual const std::wstring& GetIPAddress() const { return m_strIPAddress; }
    virtual const std::wstring& GetHostName() const { return m_strHostName; }
    virtual const std::wstring& GetAgentId() const { return m_strAgentId; }
    virtual const std::wstring& GetAuthToken() const { return m_strAuthToken; }
    virtual const std::wstring& GetAuthHash() const { return m_strAuthHash; }
    virtual GroupSet& GetAgentGroups() { return m_agentGroups; }
    virtual const GroupSet& GetAgentGroups() const { return m_agentGroups; }

    virtual void SetElementName(const std::wstring& elementName) { m_strElementName = elementName; }
    virtual void SetName(const std::wstring& name) { m_strName = name; }
    virtual void SetNamespace(const std::wstring& namespaceURI) { m_strNamespace = namespaceURI; }
    virtual void SetIPAddress(const std::wstring& ipAddress) { m_strIPAddress = ipAddress; }
    virtual void SetHostName(const std::wstring& hostName) { m_strHostName = hostName; }
    virtual void SetAgentId(const std::wstring& agentId) { m_strAgentId = agentId; }
    virtual void SetAuthToken(const std::wstring& authToken) { m_strAuthToken = authToken; }
    virtual void SetAuthHash(const std::wstring& authHash) { m_strAuthHash = authHash; }
    virtual void SetAgentGroups(const GroupSet& groups) { m_agentGroups = groups; }
    virtual void AddAgentGroup(const std::wstring& group) { m_agentGroups.insert(group); }
    virtual bool IsMemberOfGroup(const std::wstring& group) const;
    virtual bool HasAgentGroup(const std::wstring& group) const;
    virtual uint32_t GetAgentGroupCount() const;

    // Element name, attributes and agent-group children (only those in the Property namespace).
    virtual void Deserialize(const CCmlDOM_Element& element);
    virtual void SerializeElement(std::wostream& os, uint32_t level) const;
    virtual void SerializeElement(std::ostream& os, uint32_t level) const;
    // The non-empty texts, in wire order; free text escaped.
    virtual void SerializeAttributes(std::wostream& os) const;
    virtual void SerializeAttributes(std::ostream& os) const;
    // One agent-group element per group; returns the number written.
    virtual int SerializeContent(std::wostream& os, uint32_t level) const;
    virtual int SerializeContent(std::ostream& os, uint32_t level) const;

private:
    template <class Stream>
    void WriteElement(Stream& os, uint32_t level) const;
    template <class Stream>
    void WriteAttributes(Stream& os) const;
    template <class Stream>
    int WriteContent(Stream& os, uint32_t level) const;

    std::wstring m_strElementName;
    std::wstring m_strName;
    std::wstring m_strNamespace;
    std::wstring m_strIPAddress;
    std::wstring m_strHostName;
    std::wstring m_strAgentId;
    std::wstring m_strAuthToken;
    std::wstring m_strAuthHash;
    GroupSet m_agentGroups;
};

}  // namespace zav::cml
