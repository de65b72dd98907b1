// CEventQueryRecord: one serialised request, the UTF-8 document text that the dispatch thread
// posts. The service holds at most one: the outstanding request.
#pragma once

#include <string>
#include <utility>

class CEventQueryRecord {
public:
    explicit CEventQueryRecord(std::string text) : m_strText(std::move(text)) {}
    virtual ~CEventQueryRecord() = default;

    CEventQueryRecord(const CEventQueryRecord&) = delete;
    CEventQueryRecord& operator=(const CEventQueryRecord&) = delete;

    const std::string& GetText() const { return m_strText; }

private:
    std::string m_strText;
};
