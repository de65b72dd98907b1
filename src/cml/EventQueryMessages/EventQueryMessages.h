// The event query vocabulary as a whole: its library name and version, the registration of its
// element classes with the class factory, and the reading and writing helpers its classes share.
//
// Linking this file's object also runs its load-time registration; every class of the vocabulary
// uses the helpers below, so a program that uses any of them gets the registration with it.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "cml/CmlDOM_Element.h"

namespace zav::cml {

class CCmlClassFactory;

inline constexpr wchar_t EVENT_QUERY_MESSAGES_LIBRARY_NAME[] = L"EventQueryMessages";
inline constexpr wchar_t EVENT_QUERY_MESSAGES_LIBRARY_VERSION[] = L"1.0.0";

// Registers default prototypes of the four request and two response classes under the
// EventQueryMessages namespace and version "1.0.0", and records the vocabulary in the library
// version registry. Runs at load time against the global factory; calling it again replaces the
// prototypes.
void RegisterEventQueryMessages(CCmlClassFactory* factory);

namespace EventQueryMessages {

// A null pointer reads as an empty text.
std::wstring Text(const wchar_t* text);

// The element's attribute (empty when absent).
std::wstring Attribute(const CCmlDOM_Element& element, const wchar_t* name);

// Unsigned decimal: leading blanks skipped, reading stops at the first non-digit; nothing
// readable gives 0, a value above the 32-bit range the largest value.
uint32_t ReadUnsigned(const std::wstring& text);

// The paging attributes of requests and responses: count='N' when N is not 0, then start-cursor
// and end-cursor when not empty. The default-values switch has no say here.
void WritePagingAttributes(std::wostream& os, uint32_t count, const std::wstring& startCursor,
                           const std::wstring& endCursor);
void WritePagingAttributes(std::ostream& os, uint32_t count, const std::wstring& startCursor,
                           const std::wstring& endCursor);

// A flag as the word "true" or "false".
const wchar_t* FlagText(bool flag);

// Whether node is an element of the EventQueryMessages namespace whose node name as written
// (prefix included) is name. Prefixed elements therefore never match.
bool IsVocabularyElement(const CCmlDOM_Node& node, const wchar_t* name);
// The same, for nodes of one document: matched keeps the parser's text of the namespace once it
// matched (a document holds one text per namespace), so that siblings are not compared again.
bool IsVocabularyElement(const CCmlDOM_Node& node, const wchar_t* name, const void*& matched);

// Calls visit(child element) for every direct child of parent that IsVocabularyElement(name),
// in document order.
template <class Visit>
void ForEachChild(const CCmlDOM_Element& parent, const wchar_t* name, Visit&& visit) {
    const void* matched = nullptr;
    for (CCmlDOM_Node child = parent.getFirstChild(); !child.IsNull();
         child = child.getNextSibling()) {
        if (!IsVocabularyElement(child, name, matched)) continue;
        CCmlDOM_Element element;
        element.SetDOMElement(child.GetDOMNode());
        visit(element);
    }
}

}  // namespace EventQueryMessages

}  // namespace zav::cml
