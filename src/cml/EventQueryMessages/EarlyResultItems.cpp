#include "cml/EventQueryMessages/EarlyResultItems.h"

#include <xercesc/dom/DOMNode.hpp>

#include <memory>

#include "cml/CmlTagNames.h"
#include "cml/EventQueryMessages/EventQueryMessages.h"

namespace zav::cml {

using EventQueryMessages::IsVocabularyElement;

namespace {

// The tag of the items of the response element node, or null when node is none.
const wchar_t* ItemTagOf(const CCmlDOM_Node& node) {
    if (IsVocabularyElement(node, CML_TAG_GET_VULNERABILITIES_RESPONSE)) {
        return CML_TAG_VULNERABILITY_ITEM;
    }
    if (IsVocabularyElement(node, CML_TAG_GET_OBSERVANCES_RESPONSE)) {
        return CML_TAG_OBSERVANCE_ITEM;
    }
    return nullptr;
}

bool IsItemName(const CCmlDOM_Element& element) {
    return element.IsNodeName(CML_TAG_VULNERABILITY_ITEM) ||
           element.IsNodeName(CML_TAG_OBSERVANCE_ITEM);
}

// Only elements named result-data (in whichever namespace: the item's reader picks its own),
// with no element below them: nothing that a search of the whole tree (for the envelope, the
// message blocks) could be looking for.
bool IsPlainItem(const xercesc::DOMNode* item) {
    for (xercesc::DOMNode* child = item->getFirstChild(); child != nullptr;
         child = child->getNextSibling()) {
        if (child->getNodeType() != xercesc::DOMNode::ELEMENT_NODE) continue;
        if (!CCmlDOM_Node(child).IsNodeName(CML_TAG_RESULT_DATA)) return false;
        for (const xercesc::DOMNode* inner = child->getFirstChild(); inner != nullptr;
             inner = inner->getNextSibling()) {
            if (inner->getNodeType() == xercesc::DOMNode::ELEMENT_NODE) return false;
        }
    }
    return true;
}

}  // namespace

bool ReadResultItemEarly(const CCmlDOM_Element& element, const CCmlDOM_Node& parent,
                         CCmlReadScope& scope) {
    // Most elements are no item: their name tells at once.
    if (!IsItemName(element)) return false;
    std::shared_ptr<void>& slot = scope.EarlyResults(parent.GetDOMNode());
    if (!slot) {
        auto early = std::make_shared<CEarlyResultItems>();
        early->pItemTag = ItemTagOf(parent);
        early->bStopped = early->pItemTag == nullptr;
        slot = std::move(early);
        // The slot itself, with its entry in the scope's table.
        scope.AddReadMemory(sizeof(CEarlyResultItems) + 96);
    }
    auto& early = *static_cast<CEarlyResultItems*>(slot.get());
    // Items of the other kind than their response's, and elements of other namespaces, are never
    // read; they stay where they are.
    if (early.bStopped || !IsVocabularyElement(element, early.pItemTag, early.pNamespace)) {
        return false;
    }
    if (!IsPlainItem(element.GetDOMNode())) {
        early.bStopped = true;
        return false;
    }
    CEventQueryResultItem& item = early.items.emplace_back();
    item.Deserialize(element);
    scope.AddReadMemory(item.GetFootprint() + sizeof(CEventQueryResultItem));
    return true;
}

}  // namespace zav::cml
