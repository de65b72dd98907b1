#include "cml/EventQueryMessages/EventQueryMessages.h"

#include <xercesc/dom/DOMNode.hpp>

#include <cwctype>
#include <limits>

#include "cml/CmlClassFactory.h"
#include "cml/CmlEarlyRead.h"
#include "cml/CmlNamespace.h"
#include "cml/CmlTagNames.h"
#include "cml/CmlVersionRegistry.h"
#include "cml/CmlWriter.h"
#include "cml/EventQueryMessages/EarlyResultItems.h"
#include "cml/EventQueryMessages/GetObservancesByAddressRequest.h"
#include "cml/EventQueryMessages/GetObservancesByGroupRequest.h"
#include "cml/EventQueryMessages/GetObservancesResponse.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesByAddressRequest.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesByGroupRequest.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesResponse.h"

namespace zav::cml {

namespace EventQueryMessages {

std::wstring Text(const wchar_t* text) { return text != nullptr ? std::wstring(text) : L""; }

std::wstring Attribute(const CCmlDOM_Element& element, const wchar_t* name) {
    return Text(element.getAttribute(name));
}

uint32_t ReadUnsigned(const std::wstring& text) {
    constexpr uint64_t max = std::numeric_limits<uint32_t>::max();
    auto it = text.begin();
    while (it != text.end() && std::iswspace(static_cast<wint_t>(*it))) ++it;
    uint64_t value = 0;
    for (; it != text.end() && *it >= L'0' && *it <= L'9'; ++it) {
        value = value * 10 + static_cast<uint64_t>(*it - L'0');
        if (value > max) return static_cast<uint32_t>(max);
    }
    return static_cast<uint32_t>(value);
}

bool IsVocabularyElement(const CCmlDOM_Node& node, const wchar_t* name) {
    // The name first: it differs early and is short, the namespace is long and mostly the same.
    return node.getNodeType() == xercesc::DOMNode::ELEMENT_NODE && node.IsNodeName(name) &&
           node.IsNamespaceURI(CML_NS_EVENT_QUERY_MESSAGES);
}

bool IsVocabularyElement(const CCmlDOM_Node& node, const wchar_t* name, const void*& matched) {
    if (node.getNodeType() != xercesc::DOMNode::ELEMENT_NODE || !node.IsNodeName(name)) {
        return false;
    }
    const XMLCh* namespaceURI = node.GetDOMNode()->getNamespaceURI();
    if (namespaceURI != nullptr && namespaceURI == matched) return true;
    if (!node.IsNamespaceURI(CML_NS_EVENT_QUERY_MESSAGES)) return false;
    matched = namespaceURI;
    return true;
}

const wchar_t* FlagText(bool flag) { return flag ? CML_TAG_TRUE : CML_TAG_FALSE; }

namespace {

template <class Stream>
void WritePaging(Stream& os, uint32_t count, const std::wstring& startCursor,
                 const std::wstring& endCursor) {
    if (count != 0) WriteAttribute(os, CML_TAG_COUNT, std::to_wstring(count));
    if (!startCursor.empty()) WriteEscapedAttribute(os, CML_TAG_START_CURSOR, startCursor);
    if (!endCursor.empty()) WriteEscapedAttribute(os, CML_TAG_END_CURSOR, endCursor);
}

}  // namespace

void WritePagingAttributes(std::wostream& os, uint32_t count, const std::wstring& startCursor,
                           const std::wstring& endCursor) {
    WritePaging(os, count, startCursor, endCursor);
}
void WritePagingAttributes(std::ostream& os, uint32_t count, const std::wstring& startCursor,
                           const std::wstring& endCursor) {
    WritePaging(os, count, startCursor, endCursor);
}

}  // namespace EventQueryMessages

void RegisterEventQueryMessages(CCmlClassFactory* factory) {
    const auto add = [factory](const CCmlDocumentBase& prototype) {
        RegisterDocument(factory, CML_NS_EVENT_QUERY_MESSAGES, EVENT_QUERY_MESSAGES_SCHEMA_VERSION,
                         prototype.GetTagName().c_str(), &prototype);
    };
    add(CGetObservancesByAddressRequest());
    SetLibraryVersion(EVENT_QUERY_MESSAGES_LIBRARY_NAME, EVENT_QUERY_MESSAGES_LIBRARY_VERSION);
    add(CGetObservancesByGroupRequest());
    add(CGetObservancesResponse());
    add(CGetVulnerabilitiesByAddressRequest());
    add(CGetVulnerabilitiesByGroupRequest());
    add(CGetVulnerabilitiesResponse());
    SetStartTagReader(&g_startTagReader);
}

namespace {

// The factory and the version registry are built on first use, so they exist whichever file's
// load-time objects run first.
struct CLoadTimeRegistration {
    CLoadTimeRegistration() noexcept {
        try {
            CCmlClassFactory* factory = GetGlobalClassFactory();
            if (factory != nullptr) RegisterEventQueryMessages(factory);
        } catch (...) {
            // Nothing may leave a static initialiser; the client registers again at start-up.
        }
    }
};
const CLoadTimeRegistration g_loadTimeRegistration;

}  // namespace

}  // namespace zav::cml
