#include "cml/EventQueryMessages/EventQueryResponse.h"

#include <xercesc/dom/DOMException.hpp>

#include <algorithm>
#include <iterator>
#include <memory>
#include <new>
#include <utility>

#include "cml/CmlDOM_Element.h"
#include "cml/CmlDOM_Exception.h"
#include "cml/CmlException.h"
#include "cml/CmlNamespace.h"
#include "cml/CmlReadLimits.h"
#include "cml/CmlTagNames.h"
#include "cml/EventQueryMessages/EarlyResultItems.h"
#include "cml/EventQueryMessages/EventQueryMessages.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml {

using EventQueryMessages::Attribute;
using EventQueryMessages::ForEachChild;
using EventQueryMessages::ReadUnsigned;
using EventQueryMessages::Text;
using EventQueryMessages::WritePagingAttributes;

CEventQueryResponse::CEventQueryResponse(std::wstring tagName, std::wstring resultItemTagName)
    : CCmlResponse(std::move(tagName), CML_NS_EVENT_QUERY_MESSAGES,
                   EVENT_QUERY_MESSAGES_SCHEMA_VERSION),
      m_strResultItemTagName(std::move(resultItemTagName)) {}

CEventQueryResponse::~CEventQueryResponse() = default;

CCmlDocumentBase* CEventQueryResponse::Clone() const {
    try {
        return new CEventQueryResponse(*this);
    } catch (const std::bad_alloc&) {
        throw CCmlException(L"Cloning EventQueryMessages response object", L"Insufficient memory",
                            zavToolsLib::ZAV_E_BUFFER_FULL);
    }
}

void CEventQueryResponse::Assign(const CEventQueryResponse& other) {
    if (&other == this) return;
    CCmlResponse::Assign(other);
    SetResultItemTagName(other.GetResultItemTagName());
    SetCount(other.GetCount());
    SetStartCursor(other.GetStartCursor());
    SetEndCursor(other.GetEndCursor());
    m_resultItems = other.GetResultItems();
}

const CEventQueryResultItem& CEventQueryResponse::GetResultItem(uint32_t index) const {
    if (index >= m_resultItems.size()) {
        throw CCmlException(L"Fetching result item", L"Invalid index", CML_E_INVALID_INDEX);
    }
    return m_resultItems[index];
}

uint32_t CEventQueryResponse::GetResultItemCount() const {
    return static_cast<uint32_t>(m_resultItems.size());
}

void CEventQueryResponse::SetResultItemTagName(const wchar_t* tagName) {
    m_strResultItemTagName = Text(tagName);
}
void CEventQueryResponse::SetStartCursor(const wchar_t* cursor) { m_strStartCursor = Text(cursor); }
void CEventQueryResponse::SetEndCursor(const wchar_t* cursor) { m_strEndCursor = Text(cursor); }

CEventQueryResultItem& CEventQueryResponse::AddResultItem(const CEventQueryResultItem& item) {
    m_resultItems.push_back(item);
    return m_resultItems.back();
}

CEventQueryResultItem& CEventQueryResponse::AddResultItem(CEventQueryResultItem&& item) {
    m_resultItems.push_back(std::move(item));
    return m_resultItems.back();
}

uint32_t CEventQueryResponse::GetChildElementCount() const { return GetResultItemCount(); }

void CEventQueryResponse::Deserialize(const CCmlDOM_Element& element) {
    if (element.IsNull()) {
        throw CCmlException(L"Deserializing EventQueryMessages response node",
                            L"Null element received", CML_E_NULL_ELEMENT);
    }
    CCmlResponse::Deserialize(element);
    try {
        SetTagName(Text(element.getNodeName()));
        SetCount(ReadUnsigned(Attribute(element, CML_TAG_COUNT)));
        SetStartCursor(Attribute(element, CML_TAG_START_CURSOR));
        SetEndCursor(Attribute(element, CML_TAG_END_CURSOR));
        // Items of the other kind are not read at all.
        const std::wstring itemTag = GetResultItemTagName();
        CCmlReadScope* const scope = CCmlReadScope::Current();
        // Room for the items the answer announces, when the memory budget has it: the count is
        // the server's word, so the room is paid for first and a count that does not fit gets
        // none (the list then grows as items come).
        std::size_t room = 0;
        // In a bounded read the items were read from their start tags as the answer was parsed
        // (see EarlyResultItems.h), counted and paid for; none of them is in the tree.
        std::shared_ptr<void> early =
            scope != nullptr ? scope->TakeEarlyResults(element.GetDOMNode()) : nullptr;
        if (early) {
            TakeEarlyItems(static_cast<CEarlyResultItems*>(early.get())->Items(*scope));
        } else if (scope != nullptr) {
            room = std::min<std::size_t>(GetCount(), scope->GetLimits().uMaxResultItems);
            if (!scope->TryAddReadMemory(room * sizeof(CEventQueryResultItem))) room = 0;
        }
        m_resultItems.reserve(m_resultItems.size() + room);
        std::size_t read = 0;
        ForEachChild(element, itemTag.c_str(), [&](const CCmlDOM_Element& child) {
            if (scope != nullptr) scope->AddResultItems(1);
            // Read in place: nothing is moved or copied afterwards.
            CEventQueryResultItem& item = m_resultItems.emplace_back();
            item.Deserialize(child);
            if (scope != nullptr) {
                // Beyond the room paid for, the list's slot and its spare room as it doubles.
                scope->AddReadMemory(item.GetFootprint() +
                                     (read >= room ? sizeof(CEventQueryResultItem) : 0));
            }
            ++read;
        });
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(L"Parsing EventQueryMessages response element");
    }
}

void CEventQueryResponse::TakeEarlyItems(std::vector<CEventQueryResultItem>& items) {
    if (m_resultItems.empty()) {
        m_resultItems = std::move(items);
    } else {
        m_resultItems.insert(m_resultItems.end(), std::make_move_iterator(items.begin()),
                             std::make_move_iterator(items.end()));
    }
}

template <class Stream>
void CEventQueryResponse::WriteAttributes(Stream& os) const {
    CCmlResponse::SerializeAttributes(os);
    WritePagingAttributes(os, GetCount(), GetStartCursor(), GetEndCursor());
}

template <class Stream>
int CEventQueryResponse::WriteContent(Stream& os, uint32_t level) const {
    for (const CEventQueryResultItem& item : m_resultItems) item.SerializeElement(os, level);
    return static_cast<int>(m_resultItems.size());
}

void CEventQueryResponse::SerializeAttributes(std::wostream& os) const { WriteAttributes(os); }
void CEventQueryResponse::SerializeAttributes(std::ostream& os) const { WriteAttributes(os); }
int CEventQueryResponse::SerializeContent(std::wostream& os, uint32_t level) const {
    return WriteContent(os, level);
}
int CEventQueryResponse::SerializeContent(std::ostream& os, uint32_t level) const {
    return WriteContent(os, level);
}

}  // namespace zav::cml
