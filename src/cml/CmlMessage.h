// CCmlMessage: the compound message. One document with an outer zav root, a cml element and a
// message-envelope naming the source and the destinations and holding the requests or responses
// in its message-body. The message owns its requests and responses.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "cml/AgentInfo.h"
#include "cml/CmlDocumentBase.h"
#include "cml/CmlRequest.h"
#include "cml/CmlResponse.h"

namespace zav::cml {

class CCmlClassFactory;

class CCmlMessage : public CCmlDocumentBase {
public:
    using AgentList = std::vector<CAgentInfo>;
    // Entries may be null only after AddRequestCopy / AddResponseCopy of a foreign object.
    using RequestList = std::vector<std::unique_ptr<CCmlRequest>>;
    using ResponseList = std::vector<std::unique_ptr<CCmlResponse>>;

    // The source is copied (element name "source"); a destination, when given, becomes the only
    // destination (element name "destination").
    explicit CCmlMessage(const CAgentInfo& source = CAgentInfo(), const wchar_t* messageId = L"",
                         const CAgentInfo* destination = nullptr, bool broadcast = false,
                         const wchar_t* responseTo = L"");
    // Deep copies.
    CCmlMessage(const CCmlMessage& other);
    CCmlMessage& operator=(const CCmlMessage& other);

    using CCmlDocumentBase::Assign;
    ~CCmlMessage() override;
    // Raises "Cloning envelope object" / "Insufficient memory" when allocation fails.
    CCmlDocumentBase* Clone() const override;
    // The message version: the schema-version of the outer root.
    const std::wstring& GetDocumentSchemaVersion() const override { return m_strMessageVersion; }
    // Stores the message version and picks the cml form: "1.0.0" is the legacy form (base + /cml,
    // "2.4.2"), anything else the current one (base + /cml/Message, "1.0.0").
    void SetDocumentSchemaVersion(const std::wstring& version) override;
    // The root and cml namespaces, then those of every request and response.
    void GetNamespaces(NamespaceSet& namespaces) const override;
    // Replaces source, destinations, envelope attributes, cml form, requests and responses. The
    // message version keeps its value.
    void Deserialize(const CCmlDOM_Element& element) override;
    // The message-envelope element.
    void SerializeElement(std::wostream& os, uint32_t level) const override;
    void SerializeElement(std::ostream& os, uint32_t level) const override;
    // The whole document; nothing is written when the namespaces conflict.
    void Serialize(std::wostream& os) const override;
    void Serialize(std::ostream& os) const override;

    virtual void Assign(const CCmlMessage& other);
    virtual const CAgentInfo& GetSource() const { return m_source; }
    virtual CAgentInfo& GetSource() { return m_source; }
    virtual const AgentList& GetDestinations() const { return m_destinations; }
    virtual bool GetBroadcast() const { return m_bBroadcast; }
    virtual const std::wstring& GetMessageId() const { return m_strMessageId; }
    virtual const std::wstring& GetResponseTo() const { return m_strResponseTo; }
    virtual void SetSource(const CAgentInfo& source);
    virtual void SetBroadcast(bool broadcast) { m_bBroadcast = broadcast; }
    virtual void SetMessageId(const std::wstring& messageId) { m_strMessageId = messageId; }
    virtual void SetResponseTo(const std::wstring& responseTo) { m_strResponseTo = responseTo; }
    // Stores a clone; null is stored (and returned) when the clone is not a request.
    virtual CCmlRequest* AddRequestCopy(const CCmlDocumentBase& document);
    virtual CCmlResponse* AddResponseCopy(const CCmlDocumentBase& document);
    // Takes ownership; null raises "Internal error: invalid parameter" (0xC7210003).
    virtual void AddRequest(CCmlRequest* request);
    virtual void AddResponse(CCmlResponse* response);
    virtual RequestList& GetRequests() { return m_requests; }
    virtual const RequestList& GetRequests() const { return m_requests; }
    virtual ResponseList& GetResponses() { return m_responses; }
    virtual const ResponseList& GetResponses() const { return m_responses; }
    // Moves every request and response into the cml namespace at "2.4.1", as the legacy message
    // version "1.0.0" expects.
    virtual void ApplyLegacySchema();

    void AddRequest(std::unique_ptr<CCmlRequest> request) { AddRequest(request.release()); }
    void AddResponse(std::unique_ptr<CCmlResponse> response) { AddResponse(response.release()); }
    void AddDestination(const CAgentInfo& destination);
    const std::wstring& GetCmlNamespace() const { return m_strCmlNamespace; }
    const std::wstring& GetCmlSchemaVersion() const { return m_strCmlSchemaVersion; }

    // A response-block element that Deserialize skipped because no registered class reads it:
    // what an answer held instead of the responses its reader expected. Only the first few are
    // kept (an answer may hold any number); the count has them all.
    struct CSkippedElement {
        std::wstring strTagName;
        std::wstring strNamespace;
        std::wstring strSchemaVersion;
    };
    static constexpr std::size_t kKeptSkippedResponses = 4;
    const std::vector<CSkippedElement>& GetSkippedResponses() const { return m_skippedResponses; }
    std::size_t GetSkippedResponseCount() const { return m_uSkippedResponseCount; }

private:
    template <class Stream>
    void WriteDocument(Stream& os, const NamespaceSet& namespaces) const;
    template <class Stream>
    void WriteEnvelope(Stream& os, uint32_t level) const;
    void ReadEnvelope(const CCmlDOM_Element& root);
    void KeepSkippedResponse(const CCmlDOM_Element& element);
    void ClearBody();

    CAgentInfo m_source;
    AgentList m_destinations;
    bool m_bBroadcast = false;
    std::wstring m_strMessageId;
    std::wstring m_strResponseTo;
    std::wstring m_strMessageVersion;
    std::wstring m_strCmlNamespace;
    std::wstring m_strCmlSchemaVersion;
    RequestList m_requests;
    ResponseList m_responses;
    std::vector<CSkippedElement> m_skippedResponses;
    std::size_t m_uSkippedResponseCount = 0;
};

// Registers CCmlMessage with the factory under the namespace base at "1.0.1" and, in the legacy
// form, at "1.0.0".
void RegisterCmlMessage(CCmlClassFactory* factory);

}  // namespace zav::cml
