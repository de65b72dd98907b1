// Writing a compound message: the document around the envelope, and the envelope itself.
#include "cml/CmlMessage.h"
#include "cml/CmlTagNames.h"
#include "cml/CmlWriter.h"
#include "zavToolsLib/CZavCodecvt.h"

namespace zav::cml {

template <class Stream>
void CCmlMessage::WriteDocument(Stream& os, const NamespaceSet& namespaces) const {
    WriteRootStart(os, GetTagName(), namespaces);
    WriteLineEnd(os);
    WriteRootAttributes(os, GetNamespace(), m_strMessageVersion);
    WriteStartTagOpen(os, 1, CML_TAG_CML);
    WriteAttribute(os, CML_TAG_XMLNS, m_strCmlNamespace);
    WriteAttribute(os, CML_TAG_SCHEMA_VERSION, m_strCmlSchemaVersion);
    WriteText(os, L">");
    WriteLineEnd(os);
    SerializeElement(os, 2);
    WriteEndTag(os, 1, CML_TAG_CML);
    WriteEndTag(os, 0, GetTagName());
}

template <class Stream>
void CCmlMessage::WriteEnvelope(Stream& os, uint32_t level) const {
    // Message id and response-to are generated identifiers: written as they are.
    WriteStartTagOpen(os, level, CML_TAG_MESSAGE_ENVELOPE);
    WriteAttribute(os, CML_TAG_BROADCAST, m_bBroadcast ? CML_TAG_TRUE : CML_TAG_FALSE);
    WriteAttribute(os, CML_TAG_MESSAGE_ID, m_strMessageId);
    if (!m_strResponseTo.empty()) WriteAttribute(os, CML_TAG_RESPONSE_TO, m_strResponseTo);
    WriteText(os, L">");
    WriteLineEnd(os);
    m_source.SerializeElement(os, level + 1);
    for (const CAgentInfo& destination : m_destinations) {
        destination.SerializeElement(os, level + 1);
    }
    WriteStartTag(os, level + 1, CML_TAG_MESSAGE_BODY);
    const auto block = [&os, level](const wchar_t* tag, const auto& list) {
        if (list.empty()) return;
        WriteStartTag(os, level + 2, tag);
        for (const auto& body : list) {
            if (body) body->SerializeElement(os, level + 3);
        }
        WriteEndTag(os, level + 2, tag);
    };
    block(CML_TAG_REQUEST, m_requests);
    block(CML_TAG_RESPONSE, m_responses);
    WriteEndTag(os, level + 1, CML_TAG_MESSAGE_BODY);
    WriteEndTag(os, level, CML_TAG_MESSAGE_ENVELOPE);
}

// The namespaces are collected first: a conflict must fail before anything is written.
void CCmlMessage::Serialize(std::wostream& os) const {
    NamespaceSet namespaces;
    GetNamespaces(namespaces);
    WriteDocument(os, namespaces);
}

void CCmlMessage::Serialize(std::ostream& os) const {
    NamespaceSet namespaces;
    GetNamespaces(namespaces);
    zavToolsLib::CZavLocaleScope utf8(os);
    WriteDocument(os, namespaces);
}

void CCmlMessage::SerializeElement(std::wostream& os, uint32_t level) const {
    WriteEnvelope(os, level);
}

void CCmlMessage::SerializeElement(std::ostream& os, uint32_t level) const {
    WriteEnvelope(os, level);
}

}  // namespace zav::cml
