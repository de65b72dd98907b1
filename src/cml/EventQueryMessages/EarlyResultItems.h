// Result items read from their start tags while the answer is parsed (see cml/CmlEarlyRead.h):
// the items of a response, their pairs (the result-data elements) and nothing else of them ever
// enter the tree. They are kept under the response element, and the response's reader takes
// them over in document order. Below a response, all but its items is extension content; below
// an item, all but its result-data elements; below those, everything.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "cml/CmlEarlyRead.h"
#include "cml/CmlReadLimits.h"
#include "cml/EventQueryMessages/EventQueryResultItem.h"

namespace zav::cml {

// What was read from the items of one response element.
class CEarlyResultItems {
public:
    std::vector<CEventQueryResultItem>& Items(CCmlReadScope& scope) {
        FlushPairs(scope);
        return m_items;
    }
    // A new item, whose pairs follow.
    void AddItem(std::wstring&& tagName, std::wstring&& resultId, CCmlReadScope& scope);
    void AddPair(CEventQueryResultItem::DataPair&& pair) { m_pairs.push_back(std::move(pair)); }

private:
    // The last item's pairs go into it in one piece: a list that doubles as it grows would hold
    // three slots per pair while it moves.
    void FlushPairs(CCmlReadScope& scope);

    std::vector<CEventQueryResultItem> m_items;
    std::deque<CEventQueryResultItem::DataPair> m_pairs;
};

// The start tag reader of this vocabulary.
extern const CStartTagReader g_startTagReader;

}  // namespace zav::cml
