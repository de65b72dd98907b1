// Reading a compound message from its document element.
#include <xercesc/dom/DOMException.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/util/XMLString.hpp>

#include <vector>

#include "cml/CmlClassFactory.h"
#include "cml/CmlDOM_Element.h"
#include "cml/CmlDOM_Exception.h"
#include "cml/CmlDOM_NodeList.h"
#include "cml/CmlDOM_Support.h"
#include "cml/CmlException.h"
#include "cml/CmlMessage.h"
#include "cml/CmlNamespace.h"
#include "cml/CmlReadLimits.h"
#include "cml/CmlTagNames.h"
#include "zavToolsLib/ConvertUTF.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml {

namespace {

std::wstring Text(const wchar_t* s) { return s != nullptr ? std::wstring(s) : std::wstring(); }

CCmlDOM_Element AsElement(const CCmlDOM_Node& node) {
    CCmlDOM_Element element;
    element.SetDOMElement(node.GetDOMNode());
    return element;
}

// The first element of the list, or an empty wrapper. Asking a deep list for its length would
// walk the whole tree; its first item is found as soon as the walk reaches it.
CCmlDOM_Element First(const CCmlDOM_NodeList& list) {
    const CCmlDOM_Node first = list.item(0);
    return first.IsNull() ? CCmlDOM_Element() : AsElement(first);
}

[[noreturn]] void ThrowMissing(const wchar_t* tag) {
    throw CCmlException(L"Parsing compound message",
                        std::wstring(L"Missing \"") + tag + L"\" element", CML_E_MISSING_ELEMENT);
}

using Blocks = std::vector<xercesc::DOMNode*>;

// The request and the response blocks anywhere below the body, each list in document order, as
// the body's element lists by namespace and local name have them; found in one walk of the tree.
// Depth first, in document order; the depth is bounded by the reading limits.
void FindBlocks(const xercesc::DOMNode* parent, const XMLCh* cmlNamespace, Blocks& requests,
                Blocks& responses) {
    for (xercesc::DOMNode* node = parent->getFirstChild(); node != nullptr;
         node = node->getNextSibling()) {
        if (node->getNodeType() != xercesc::DOMNode::ELEMENT_NODE) continue;
        // The local name first: short, and it tells most elements apart at once.
        const XMLCh* localName = node->getLocalName();
        Blocks* blocks = dom_detail::SameText(localName, CML_TAG_REQUEST)    ? &requests
                         : dom_detail::SameText(localName, CML_TAG_RESPONSE) ? &responses
                                                                             : nullptr;
        if (blocks != nullptr &&
            xercesc::XMLString::equals(node->getNamespaceURI(), cmlNamespace)) {
            blocks->push_back(node);
        }
        FindBlocks(node, cmlNamespace, requests, responses);
    }
}

void FindBlocks(const CCmlDOM_Element& body, const std::wstring& cmlNamespace, Blocks& requests,
                Blocks& responses) {
    const std::u16string ns = zavToolsLib::ToUtf16(cmlNamespace);
    FindBlocks(body.GetDOMNode(), ns.c_str(), requests, responses);
}

// Reads every element child of the blocks through the class factory and hands those of class
// Body to add. Children of unregistered classes are skipped and handed to skip.
template <class Body, class Add, class Skip>
void ReadBlock(const Blocks& blocks, const wchar_t* context, Add&& add, Skip&& skip) {
    for (xercesc::DOMNode* block : blocks) {
        for (CCmlDOM_Node child = CCmlDOM_Node(block).getFirstChild(); !child.IsNull();
             child = child.getNextSibling()) {
            if (child.getNodeType() != xercesc::DOMNode::ELEMENT_NODE) continue;
            std::unique_ptr<CCmlDocumentBase> document =
                zav::cml::Deserialize(AsElement(child), CML_LOOKUP_MATCH);
            if (!document) {
                skip(AsElement(child));
                continue;
            }
            Body* typed = dynamic_cast<Body*>(document.get());
            if (typed == nullptr) {
                throw CCmlException(context, L"Document is not a message",
                                    zavToolsLib::ZAV_E_EXCEPTION);
            }
            static_cast<void>(document.release());  // typed, the same object, is handed on
            add(typed);
        }
    }
}

}  // namespace

void CCmlMessage::KeepSkippedResponse(const CCmlDOM_Element& element) {
    if (m_uSkippedResponseCount++ < kKeptSkippedResponses) {
        m_skippedResponses.push_back({Text(element.getTagName()), Text(element.getNamespaceURI()),
                                      Text(element.getAttribute(CML_TAG_SCHEMA_VERSION))});
    }
}

void CCmlMessage::Deserialize(const CCmlDOM_Element& element) {
    // A message may hold messages; in an untrusted document only so deep.
    const CCmlReadScope::CMessageLevel level;
    ClearBody();
    m_destinations.clear();
    if (element.IsNull()) {
        throw CCmlException(L"Deserializing compound message", L"Null element received",
                            CML_E_NULL_ELEMENT);
    }
    try {
        CCmlDocumentBase::Deserialize(element);
        ReadEnvelope(element);
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(L"Parsing message envelope");
    }
}

void CCmlMessage::ReadEnvelope(const CCmlDOM_Element& root) {
    const std::wstring base = NAMESPACE_BASE;
    // Only the first cml element counts; in any other namespace it is as good as missing.
    CCmlDOM_Element cml = First(root.getElementsByTagName(CML_TAG_CML));
    const std::wstring cmlNamespace = cml.IsNull() ? std::wstring() : Text(cml.getNamespaceURI());
    if (cmlNamespace != base + CML_PATH && cmlNamespace != base + CML_MESSAGE_PATH) {
        ThrowMissing(CML_TAG_CML);
    }
    m_strCmlNamespace = cmlNamespace;
    m_strCmlSchemaVersion = Text(cml.getAttribute(CML_TAG_SCHEMA_VERSION));

    CCmlDOM_Element envelope =
        First(cml.getElementsByTagNameNS(cmlNamespace.c_str(), CML_TAG_MESSAGE_ENVELOPE));
    if (envelope.IsNull()) ThrowMissing(CML_TAG_MESSAGE_ENVELOPE);
    m_bBroadcast = Text(envelope.getAttribute(CML_TAG_BROADCAST)) == CML_TAG_TRUE;
    m_strMessageId = Text(envelope.getAttribute(CML_TAG_MESSAGE_ID));
    m_strResponseTo = Text(envelope.getAttribute(CML_TAG_RESPONSE_TO));

    for (CCmlDOM_Node child = envelope.getFirstChild(); !child.IsNull();
         child = child.getNextSibling()) {
        if (child.getNodeType() != xercesc::DOMNode::ELEMENT_NODE ||
            !child.IsNamespaceURI(cmlNamespace.c_str())) {
            continue;
        }
        if (child.IsNodeName(CML_TAG_SOURCE)) {
            m_source.Deserialize(AsElement(child));
        } else if (child.IsNodeName(CML_TAG_DESTINATION)) {
            AddDestination(CAgentInfo());
            m_destinations.back().Deserialize(AsElement(child));
        } else if (child.IsNodeName(CML_TAG_MESSAGE_BODY)) {
            Blocks requests, responses;
            FindBlocks(AsElement(child), cmlNamespace, requests, responses);
            ReadBlock<CCmlRequest>(
                requests, L"Error deserializing CML request",
                [this](CCmlRequest* request) { AddRequest(request); },
                [](const CCmlDOM_Element&) {});
            ReadBlock<CCmlResponse>(
                responses, L"Error deserializing CML response",
                [this](CCmlResponse* response) { AddResponse(response); },
                [this](const CCmlDOM_Element& skipped) { KeepSkippedResponse(skipped); });
        }
    }
}

}  // namespace zav::cml
