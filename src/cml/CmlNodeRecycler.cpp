#include "cml/CmlNodeRecycler.h"

#include <xercesc/dom/DOMMemoryManager.hpp>
#include <xercesc/dom/DOMNamedNodeMap.hpp>
#include <xercesc/dom/impl/DOMTextImpl.hpp>
#include <xercesc/util/XMLUni.hpp>

namespace zav::cml {

namespace {

using xercesc::DOMMemoryManager;
using xercesc::DOMNode;

// A text node's characters go to the document's spare buffers, the node to its spare nodes.
void RecycleText(DOMMemoryManager& memory, DOMNode* node) {
    static_cast<xercesc::DOMTextImpl*>(static_cast<xercesc::DOMText*>(node))
        ->fCharacterData.releaseBuffer();
    memory.release(node, DOMMemoryManager::TEXT_OBJECT);
}

// Depth first; the depth of a parsed tree is bounded by the read limits.
void Recycle(DOMMemoryManager& memory, DOMNode* node) {
    switch (node->getNodeType()) {
    case DOMNode::TEXT_NODE:
        RecycleText(memory, node);
        return;
    case DOMNode::ELEMENT_NODE:
        break;
    default:
        return;  // rare in an answer: left to the document
    }
    // With namespaces on, the parser builds every element and attribute with a local name.
    if (node->getLocalName() == nullptr) return;
    for (DOMNode* child = node->getFirstChild(); child != nullptr;) {
        DOMNode* const next = child->getNextSibling();
        Recycle(memory, child);
        child = next;
    }
    const xercesc::DOMNamedNodeMap* const attributes = node->getAttributes();
    for (XMLSize_t i = 0, count = attributes->getLength(); i < count; ++i) {
        DOMNode* const attribute = attributes->item(i);
        if (attribute->getLocalName() == nullptr) continue;
        // The value: one text node, as the parser builds it.
        for (DOMNode* text = attribute->getFirstChild(); text != nullptr;) {
            DOMNode* const next = text->getNextSibling();
            if (text->getNodeType() == DOMNode::TEXT_NODE) RecycleText(memory, text);
            text = next;
        }
        memory.release(attribute, DOMMemoryManager::ATTR_NS_OBJECT);
    }
    memory.release(node, DOMMemoryManager::ELEMENT_NS_OBJECT);
}

}  // namespace

void RecycleTree(xercesc::DOMDocument* document, DOMNode* root) {
    auto* const memory = static_cast<DOMMemoryManager*>(
        document->getFeature(xercesc::XMLUni::fgXercescInterfaceDOMMemoryManager, nullptr));
    if (memory != nullptr) Recycle(*memory, root);
}

}  // namespace zav::cml
