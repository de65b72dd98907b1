// Result items read while the answer is still being parsed (see cml/CmlEarlyRead.h): each item
// whose form is plain (result-data elements and nothing below them) is read as soon as its end
// tag is parsed, kept under its response element, and its part of the tree is recycled. The
// response element's reader takes them over in document order.
#pragma once

#include <vector>

#include "cml/CmlDOM_Element.h"
#include "cml/CmlReadLimits.h"
#include "cml/EventQueryMessages/EventQueryResultItem.h"

namespace zav::cml {

struct CEarlyResultItems {
    std::vector<CEventQueryResultItem> items;
    // The tag of the response's items; null when the element holding them is no response.
    const wchar_t* pItemTag = nullptr;
    // The parser's text of the vocabulary's namespace, once an item matched it.
    const void* pNamespace = nullptr;
    // An item of this response stayed in the tree: the items after it stay too, so that the
    // response reads them all in document order.
    bool bStopped = false;
};

// The early reader of this vocabulary: true when it read element, a result item of a response.
bool ReadResultItemEarly(const CCmlDOM_Element& element, const CCmlDOM_Node& parent,
                         CCmlReadScope& scope);

}  // namespace zav::cml
