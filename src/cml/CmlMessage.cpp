#include "cml/CmlMessage.h"

#include <new>

#include "cml/CmlClassFactory.h"
#include "cml/CmlException.h"
#include "cml/CmlNamespace.h"
#include "cml/CmlNamespaceSet.h"
#include "cml/CmlTagNames.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml {

CCmlMessage::CCmlMessage(const CAgentInfo& source, const wchar_t* messageId,
                         const CAgentInfo* destination, bool broadcast, const wchar_t* responseTo)
    : CCmlDocumentBase(CML_TAG_ZAV, NAMESPACE_BASE, MESSAGE_SCHEMA_VERSION),
      m_source(source),
      m_bBroadcast(broadcast),
      m_strMessageId(messageId != nullptr ? messageId : L""),
      m_strResponseTo(responseTo != nullptr ? responseTo : L"") {
    m_source.SetElementName(CML_TAG_SOURCE);
    if (destination != nullptr) AddDestination(*destination);
    CCmlMessage::SetDocumentSchemaVersion(MESSAGE_SCHEMA_VERSION);
}

CCmlMessage::CCmlMessage(const CCmlMessage& other) : CCmlDocumentBase(other) {
    CCmlMessage::Assign(other);
}

CCmlMessage& CCmlMessage::operator=(const CCmlMessage& other) {
    if (&other != this) {
        CCmlDocumentBase::operator=(other);
        Assign(other);
    }
    return *this;
}

CCmlMessage::~CCmlMessage() = default;

CCmlDocumentBase* CCmlMessage::Clone() const {
    try {
        return new CCmlMessage(*this);
    } catch (const std::bad_alloc&) {
        throw CCmlException(L"Cloning envelope object", L"Insufficient memory",
                            zavToolsLib::ZAV_E_BUFFER_FULL);
    }
}

void CCmlMessage::SetDocumentSchemaVersion(const std::wstring& version) {
    m_strMessageVersion = version;
    if (version == LEGACY_MESSAGE_SCHEMA_VERSION) {
        m_strCmlNamespace = std::wstring(NAMESPACE_BASE) + CML_PATH;
        m_strCmlSchemaVersion = CML_LEGACY_SCHEMA_VERSION;
    } else {
        m_strCmlNamespace = std::wstring(NAMESPACE_BASE) + CML_MESSAGE_PATH;
        m_strCmlSchemaVersion = CML_MESSAGE_SCHEMA_VERSION;
    }
}

void CCmlMessage::GetNamespaces(NamespaceSet& namespaces) const {
    const wchar_t* const context = L"Constructing CmlMessage namespace object";
    AddToNamespaceSet(namespaces, GetNamespace(), m_strMessageVersion, context);
    AddToNamespaceSet(namespaces, m_strCmlNamespace, m_strCmlSchemaVersion, context);
    for (const auto& request : m_requests) {
        if (request) request->GetNamespaces(namespaces);
    }
    for (const auto& response : m_responses) {
        if (response) response->GetNamespaces(namespaces);
    }
}

void CCmlMessage::Assign(const CCmlMessage& other) {
    if (&other == this) return;
    ClearBody();
    CCmlDocumentBase::Assign(other);
    m_source = other.m_source;
    m_destinations = other.m_destinations;
    m_bBroadcast = other.m_bBroadcast;
    m_strMessageId = other.m_strMessageId;
    m_strResponseTo = other.m_strResponseTo;
    m_strMessageVersion = other.m_strMessageVersion;
    m_strCmlNamespace = other.m_strCmlNamespace;
    m_strCmlSchemaVersion = other.m_strCmlSchemaVersion;
    for (const auto& request : other.m_requests) {
        if (request) AddRequestCopy(*request);
    }
    for (const auto& response : other.m_responses) {
        if (response) AddResponseCopy(*response);
    }
}

void CCmlMessage::SetSource(const CAgentInfo& source) {
    m_source = source;
    m_source.SetElementName(CML_TAG_SOURCE);
}

void CCmlMessage::AddDestination(const CAgentInfo& destination) {
    m_destinations.push_back(destination);
    m_destinations.back().SetElementName(CML_TAG_DESTINATION);
}

namespace {

// A copy of the document as a T, or null (and no copy kept) when it is not one.
template <class T>
std::unique_ptr<T> CloneAs(const CCmlDocumentBase& document) {
    std::unique_ptr<CCmlDocumentBase> clone(document.Clone());
    if (dynamic_cast<T*>(clone.get()) == nullptr) return nullptr;
    return std::unique_ptr<T>(static_cast<T*>(clone.release()));
}

}  // namespace

CCmlRequest* CCmlMessage::AddRequestCopy(const CCmlDocumentBase& document) {
    m_requests.push_back(CloneAs<CCmlRequest>(document));
    return m_requests.back().get();
}

CCmlResponse* CCmlMessage::AddResponseCopy(const CCmlDocumentBase& document) {
    m_responses.push_back(CloneAs<CCmlResponse>(document));
    return m_responses.back().get();
}

void CCmlMessage::AddRequest(CCmlRequest* request) {
    std::unique_ptr<CCmlRequest> owned(request);
    if (!owned) {
        throw CCmlException(L"Adding request to message vector",
                            L"Internal error: invalid parameter", zavToolsLib::ZAV_E_INVALID_ARG);
    }
    m_requests.push_back(std::move(owned));
}

void CCmlMessage::AddResponse(CCmlResponse* response) {
    std::unique_ptr<CCmlResponse> owned(response);
    if (!owned) {
        throw CCmlException(L"Adding response to message vector",
                            L"Internal error: invalid parameter", zavToolsLib::ZAV_E_INVALID_ARG);
    }
    m_responses.push_back(std::move(owned));
}

void CCmlMessage::ApplyLegacySchema() {
    const auto legacy = [this](CMessageBase& body) {
        body.SetNamespace(m_strCmlNamespace);
        body.SetSchemaVersion(LEGACY_BODY_SCHEMA_VERSION);
        body.SetDocumentSchemaVersion(LEGACY_BODY_SCHEMA_VERSION);
    };
    for (const auto& request : m_requests) {
        if (request) legacy(*request);
    }
    for (const auto& response : m_responses) {
        if (response) legacy(*response);
    }
}

void CCmlMessage::ClearBody() {
    m_requests.clear();
    m_responses.clear();
    m_skippedResponses.clear();
    m_uSkippedResponseCount = 0;
}

void RegisterCmlMessage(CCmlClassFactory* factory) {
    const CCmlMessage prototype;
    RegisterDocument(factory, NAMESPACE_BASE, MESSAGE_SCHEMA_VERSION, NAMESPACE_BASE,
                     LEGACY_MESSAGE_SCHEMA_VERSION, CML_TAG_ZAV, &prototype);
}

}  // namespace zav::cml
