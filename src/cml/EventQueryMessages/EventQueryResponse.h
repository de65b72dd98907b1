// CEventQueryResponse: the part every event query response shares. Paging attributes on the
// response element and a flat list of result items, all named alike (vulnerability-item or
// observance-item, chosen by the concrete response).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "cml/CmlResponse.h"
#include "cml/EventQueryMessages/EventQueryResultItem.h"

namespace zav::cml {

class CCmlReadScope;

class CEventQueryResponse : public CCmlResponse {
public:
    using ResultItemList = std::vector<CEventQueryResultItem>;

    CEventQueryResponse(const CEventQueryResponse&) = default;
    CEventQueryResponse& operator=(const CEventQueryResponse&) = default;

    using CCmlResponse::Assign;
    ~CEventQueryResponse() override;
    // Raises "Cloning EventQueryMessages response object" / "Insufficient memory".
    CCmlDocumentBase* Clone() const override;
    // The number of result items.
    uint32_t GetChildElementCount() const override;
    // The response attributes and every child named like the result item element name; other
    // children are skipped.
    void Deserialize(const CCmlDOM_Element& element) override;
    // The response attributes, then count, start-cursor and end-cursor, each only when set.
    void SerializeAttributes(std::wostream& os) const override;
    void SerializeAttributes(std::ostream& os) const override;
    // The items in list order; returns their number.
    int SerializeContent(std::wostream& os, uint32_t level) const override;
    int SerializeContent(std::ostream& os, uint32_t level) const override;

    virtual void Assign(const CEventQueryResponse& other);
    virtual const std::wstring& GetResultItemTagName() const { return m_strResultItemTagName; }
    virtual uint32_t GetCount() const { return m_uCount; }
    virtual const std::wstring& GetStartCursor() const { return m_strStartCursor; }
    virtual const std::wstring& GetEndCursor() const { return m_strEndCursor; }
    // Zero-based; an index at or above the item count raises "Fetching result item" /
    // "Invalid index" (0xC738000B).
    virtual const CEventQueryResultItem& GetResultItem(uint32_t index) const;
    virtual uint32_t GetResultItemCount() const;
    virtual void SetResultItemTagName(const wchar_t* tagName);
    virtual void SetCount(uint32_t count) { m_uCount = count; }
    virtual void SetStartCursor(const wchar_t* cursor);
    virtual void SetEndCursor(const wchar_t* cursor);
    // Stores a copy; returns the stored copy.
    virtual CEventQueryResultItem& AddResultItem(const CEventQueryResultItem& item);
    CEventQueryResultItem& AddResultItem(CEventQueryResultItem&& item);
    virtual ResultItemList& GetResultItems() { return m_resultItems; }
    virtual const ResultItemList& GetResultItems() const { return m_resultItems; }

    void SetResultItemTagName(const std::wstring& tagName) {
        SetResultItemTagName(tagName.c_str());
    }
    void SetStartCursor(const std::wstring& cursor) { SetStartCursor(cursor.c_str()); }
    void SetEndCursor(const std::wstring& cursor) { SetEndCursor(cursor.c_str()); }

protected:
    // An element of the EventQueryMessages namespace at version "1.0.0" whose items are named
    // resultItemTagName.
    CEventQueryResponse(std::wstring tagName, std::wstring resultItemTagName);

private:
    // Appends the items read from their start tags (counted and paid for as they were read).
    void TakeEarlyItems(std::vector<CEventQueryResultItem>& items);
    template <class Stream>
    void WriteAttributes(Stream& os) const;
    template <class Stream>
    int WriteContent(Stream& os, uint32_t level) const;

    std::wstring m_strResultItemTagName;
    uint32_t m_uCount = 0;
    std::wstring m_strStartCursor;
    std::wstring m_strEndCursor;
    ResultItemList m_resultItems;
};

}  // namespace zav::cml
