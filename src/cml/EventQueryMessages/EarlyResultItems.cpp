#include "cml/EventQueryMessages/EarlyResultItems.h"

#include <xercesc/dom/DOMNode.hpp>

#include <memory>

#include "cml/CmlDOM_Support.h"
#include "cml/CmlNamespace.h"
#include "cml/CmlTagNames.h"

namespace zav::cml {

using dom_detail::SameText;
using DataPair = CEventQueryResultItem::DataPair;

namespace {

// Parents as the parser sorts them, and the sorts of elements this reader takes.
enum : int { kVulnerabilities = 1, kObservances, kItem, kPair, kTakenItem };

// A string's heap block (none while it fits in the object), with the allocator's own header.
std::size_t HeapBytes(const std::wstring& text) {
    constexpr std::size_t kInPlace = 15 / sizeof(wchar_t);
    return text.capacity() > kInPlace ? (text.capacity() + 1) * sizeof(wchar_t) + 16 : 0;
}

// The value of the first attribute named name (as the tree would give it: none is empty).
void Attribute(const xercesc::RefVectorOf<xercesc::XMLAttr>& attributes, XMLSize_t count,
               const wchar_t* name, std::wstring& value) {
    for (XMLSize_t i = 0; i < count; ++i) {
        const xercesc::XMLAttr* const attribute = attributes.elementAt(i);
        if (SameText(attribute->getQName(), name)) {
            dom_detail::ConvertInto(value, attribute->getValue());
            return;
        }
    }
}

// The items of the response element parent, filed under it in the read scope.
CEarlyResultItems& ItemsOf(const xercesc::DOMNode* parent, CCmlReadScope& scope) {
    std::shared_ptr<void>& slot = scope.EarlyResults(parent);
    if (!slot) {
        slot = std::make_shared<CEarlyResultItems>();
        scope.AddReadMemory(sizeof(CEarlyResultItems) + 96);  // with its entry in the table
    }
    return *static_cast<CEarlyResultItems*>(slot.get());
}

int SortNamespace(const XMLCh* namespaceURI) {
    return SameText(namespaceURI, CML_NS_EVENT_QUERY_MESSAGES) ? 1 : 0;
}

int SortParent(const xercesc::DOMNode* parent) {
    const XMLCh* const name = parent->getLocalName();
    const int sort =
        SameText(name, CML_TAG_GET_VULNERABILITIES_RESPONSE) ? kVulnerabilities
        : SameText(name, CML_TAG_GET_OBSERVANCES_RESPONSE)   ? kObservances
        : SameText(name, CML_TAG_VULNERABILITY_ITEM) || SameText(name, CML_TAG_OBSERVANCE_ITEM)
            ? kItem
        : SameText(name, CML_TAG_RESULT_DATA) ? kPair
                                              : 0;
    return sort != 0 && SortNamespace(parent->getNamespaceURI()) != 0 ? sort : 0;
}

int Read(int parentSort, const xercesc::DOMNode* parent, int namespaceSort,
         const XMLCh* qualifiedName, const xercesc::RefVectorOf<xercesc::XMLAttr>& attributes,
         XMLSize_t count, CCmlReadScope* scope) {
    if (parentSort == kVulnerabilities || parentSort == kObservances) {
        const wchar_t* const itemTag =
            parentSort == kVulnerabilities ? CML_TAG_VULNERABILITY_ITEM : CML_TAG_OBSERVANCE_ITEM;
        // Items of the other kind are never read, nor any named otherwise as written.
        if (namespaceSort == 0 || !SameText(qualifiedName, itemTag)) return kStartTagLeftOut;
        if (scope == nullptr) return kStartTagBuilt;
        std::wstring tagName = itemTag, resultId;
        Attribute(attributes, count, CML_TAG_RESULT_ID, resultId);
        ItemsOf(parent, *scope).AddItem(std::move(tagName), std::move(resultId), *scope);
        return kTakenItem;
    }
    // Below an item, only its pairs; below a pair, nothing.
    if (parentSort == kPair || namespaceSort == 0 ||
        !SameText(qualifiedName, CML_TAG_RESULT_DATA)) {
        return kStartTagLeftOut;
    }
    if (scope == nullptr) return kStartTagBuilt;
    // The pairs of an item in the tree (one of no response) are never read.
    if (parentSort != kTakenItem) return kStartTagLeftOut;
    DataPair pair;
    Attribute(attributes, count, CML_TAG_NAME, pair.first);
    Attribute(attributes, count, CML_TAG_VALUE, pair.second);
    // The pair, its share of a block of the list, and its strings.
    scope->AddReadMemory(sizeof(DataPair) + 8 + HeapBytes(pair.first) + HeapBytes(pair.second));
    ItemsOf(parent, *scope).AddPair(std::move(pair));
    return kStartTagLeftOut;
}

}  // namespace

void CEarlyResultItems::AddItem(std::wstring&& tagName, std::wstring&& resultId,
                                CCmlReadScope& scope) {
    FlushPairs(scope);
    scope.AddResultItems(1);
    const CEventQueryResultItem& item =
        m_items.emplace_back(std::move(tagName), std::move(resultId));
    // With its slot's share of the list's growth.
    scope.AddReadMemory(item.GetFootprint() + sizeof(CEventQueryResultItem));
}

void CEarlyResultItems::FlushPairs(CCmlReadScope& scope) {
    if (m_pairs.empty() || m_items.empty()) return;
    CEventQueryResultItem::DataList& data = m_items.back().GetData();
    scope.AddReadMemory(m_pairs.size() * sizeof(DataPair));
    data.reserve(data.size() + m_pairs.size());
    for (; !m_pairs.empty(); m_pairs.pop_front()) data.push_back(std::move(m_pairs.front()));
}

const CStartTagReader g_startTagReader{&SortNamespace, &SortParent, &Read};

}  // namespace zav::cml
