#include "cml/CmlEarlyRead.h"

#include <atomic>

#include "cml/CmlDOM_Support.h"
#include "cml/CmlNamespace.h"
#include "cml/CmlTagNames.h"

namespace zav::cml {

namespace {
std::atomic<const CStartTagReader*> g_startTagReader{nullptr};
}  // namespace

void SetStartTagReader(const CStartTagReader* reader) {
    g_startTagReader.store(reader, std::memory_order_release);
}

const CStartTagReader* GetStartTagReader() {
    return g_startTagReader.load(std::memory_order_acquire);
}

bool IsMessageNamespace(const XMLCh* namespaceURI) {
    return dom_detail::SameText(namespaceURI, CML_NS_CML) ||
           dom_detail::SameText(namespaceURI, CML_NS_MESSAGE);
}

bool IsBlockName(const XMLCh* localName) {
    return dom_detail::SameText(localName, CML_TAG_RESPONSE) ||
           dom_detail::SameText(localName, CML_TAG_REQUEST);
}

bool IsMessageBody(const xercesc::DOMNode* node) {
    return dom_detail::SameText(node->getLocalName(), CML_TAG_MESSAGE_BODY) &&
           IsMessageNamespace(node->getNamespaceURI());
}

bool IsEmptyBlock(const xercesc::DOMNode* node) {
    if (!IsBlockName(node->getLocalName()) || !IsMessageNamespace(node->getNamespaceURI())) {
        return false;
    }
    for (const xercesc::DOMNode* child = node->getFirstChild(); child != nullptr;
         child = child->getNextSibling()) {
        if (child->getNodeType() == xercesc::DOMNode::ELEMENT_NODE) return false;
    }
    return true;
}

int FrameSort(const xercesc::DOMNode* parent) {
    using dom_detail::SameText;
    const XMLCh* const name = parent->getLocalName();
    const XMLCh* const ns = parent->getNamespaceURI();
    if (IsMessageNamespace(ns)) {
        if (SameText(name, CML_TAG_MESSAGE_ENVELOPE)) return kFrameEnvelope;
        if (SameText(name, CML_TAG_SOURCE) || SameText(name, CML_TAG_DESTINATION)) {
            return kFrameAgent;
        }
    } else if (SameText(ns, CML_NS_DOC_PROPERTY) && SameText(name, CML_TAG_AGENT_GROUP)) {
        return kFrameGroup;
    }
    return kFrameNone;
}

bool IsReadInFrame(int frameSort, const XMLCh* namespaceURI, const XMLCh* localName,
                   const XMLCh* qualifiedName) {
    using dom_detail::SameText;
    switch (frameSort) {
        case kFrameEnvelope:
            return IsMessageNamespace(namespaceURI) && (SameText(localName, CML_TAG_SOURCE) ||
                                                        SameText(localName, CML_TAG_DESTINATION) ||
                                                        SameText(localName, CML_TAG_MESSAGE_BODY));
        case kFrameAgent:
            // Groups are read by their name as written, in the Property namespace only.
            return SameText(namespaceURI, CML_NS_DOC_PROPERTY) &&
                   SameText(qualifiedName, CML_TAG_AGENT_GROUP);
        default:
            return false;
    }
}

}  // namespace zav::cml
