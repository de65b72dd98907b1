// CEventQueryRequest: the part every event query request shares. Paging attributes (count and
// two cursors) on the request element, the time range of the query and the optional list of
// result names the server is to return.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "cml/CmlRequest.h"
#include "cml/XmlDateTime.h"

namespace zav::cml {

class CEventQueryRequest : public CCmlRequest {
public:
    using ResultFilterList = std::vector<std::wstring>;

    CEventQueryRequest(const CEventQueryRequest&) = default;
    CEventQueryRequest& operator=(const CEventQueryRequest&) = default;

    using CCmlRequest::Assign;
    ~CEventQueryRequest() override;
    // Raises "Cloning EventQueryMessages request object" / "Insufficient memory".
    CCmlDocumentBase* Clone() const override;
    // time-range, plus result-filter when the filter is not empty.
    uint32_t GetChildElementCount() const override;
    // The request attributes, time-range and result-filter; other children are left to the
    // derived classes and skipped here.
    void Deserialize(const CCmlDOM_Element& element) override;
    // The request attributes, then count, start-cursor and end-cursor, each only when set.
    void SerializeAttributes(std::wostream& os) const override;
    void SerializeAttributes(std::ostream& os) const override;
    // time-range and result-filter; returns the number of children written.
    int SerializeContent(std::wostream& os, uint32_t level) const override;
    int SerializeContent(std::ostream& os, uint32_t level) const override;

    virtual void Assign(const CEventQueryRequest& other);
    virtual uint32_t GetCount() const { return m_uCount; }
    virtual const std::wstring& GetStartCursor() const { return m_strStartCursor; }
    virtual const std::wstring& GetEndCursor() const { return m_strEndCursor; }
    virtual const XmlUtils::CDateTime& GetStartTime() const { return m_startTime; }
    virtual const XmlUtils::CDateTime& GetEndTime() const { return m_endTime; }
    virtual uint32_t GetResultFilterCount() const;
    virtual const ResultFilterList& GetResultFilter() const { return m_resultFilter; }
    virtual ResultFilterList& GetResultFilter() { return m_resultFilter; }
    virtual void SetCount(uint32_t count) { m_uCount = count; }
    virtual void SetStartCursor(const wchar_t* cursor);
    virtual void SetEndCursor(const wchar_t* cursor);
    // An XML Schema dateTime text; what cannot be read stays zero.
    virtual void SetStartTime(const wchar_t* text);
    virtual void SetStartTime(const XmlUtils::CDateTime& time);
    virtual void SetEndTime(const wchar_t* text);
    virtual void SetEndTime(const XmlUtils::CDateTime& time);
    // Appended at the end; duplicates are kept.
    virtual void AddResultFilterItem(const std::wstring& name);

    void SetStartCursor(const std::wstring& cursor) { SetStartCursor(cursor.c_str()); }
    void SetEndCursor(const std::wstring& cursor) { SetEndCursor(cursor.c_str()); }
    void SetStartTime(const std::wstring& text) { SetStartTime(text.c_str()); }
    void SetEndTime(const std::wstring& text) { SetEndTime(text.c_str()); }

protected:
    // An element of the EventQueryMessages namespace at version "1.0.0", need reply true.
    CEventQueryRequest(std::wstring tagName, const std::wstring& requestId);

private:
    template <class Stream>
    void WriteAttributes(Stream& os) const;
    template <class Stream>
    int WriteContent(Stream& os, uint32_t level) const;

    uint32_t m_uCount = 0;
    std::wstring m_strStartCursor;
    std::wstring m_strEndCursor;
    XmlUtils::CDateTime m_startTime;
    XmlUtils::CDateTime m_endTime;
    ResultFilterList m_resultFilter;
};

}  // namespace zav::cml
