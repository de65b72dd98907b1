#include "cml/EventQueryMessages/EventQueryRequest.h"

#include <xercesc/dom/DOMException.hpp>

#include <cmath>
#include <new>
#include <sstream>
#include <utility>

#include "cml/CmlDOM_Element.h"
#include "cml/CmlDOM_Exception.h"
#include "cml/CmlException.h"
#include "cml/CmlNamespace.h"
#include "cml/CmlTagNames.h"
#include "cml/CmlWriter.h"
#include "cml/EventQueryMessages/EventQueryMessages.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml {

using EventQueryMessages::Attribute;
using EventQueryMessages::ForEachChild;
using EventQueryMessages::IsVocabularyElement;
using EventQueryMessages::ReadUnsigned;
using EventQueryMessages::Text;
using EventQueryMessages::WritePagingAttributes;

namespace {

// Digits of value, zero-padded to width, at the end of text.
void AppendPadded(std::wstring& text, int32_t value, std::size_t width) {
    wchar_t digits[10];
    std::size_t n = 0;
    do {
        digits[n++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    if (n < width) text.append(width - n, L'0');
    while (n != 0) text += digits[--n];
}

bool Within(int32_t value, int32_t high) { return value >= 0 && value <= high; }

// The written form of a time, on a stream of its own so that the caller's stream formatting
// plays no part. The stream is kept per thread (building one costs more than the text) and
// starts every time from the formatting of a new stream.
std::wstring TimeText(const XmlUtils::CDateTime& time) {
    // A query's times have whole seconds and UTC: written here, as the stream would write them.
    // A negative zero is left to the stream, which keeps its sign.
    const double seconds = time.GetSeconds();
    if (Within(time.GetYear(), 9999) && Within(time.GetMonth(), 99) && Within(time.GetDay(), 99) &&
        Within(time.GetHour(), 99) && Within(time.GetMinute(), 99) && !std::signbit(seconds) &&
        seconds < 100 && seconds == static_cast<double>(static_cast<int32_t>(seconds)) &&
        (!time.GetTimeZonePresent() ||
         (time.GetTimeZoneHours() == 0 && time.GetTimeZoneMinutes() == 0))) {
        std::wstring text;
        text.reserve(28);
        AppendPadded(text, time.GetYear(), 4);
        text += L'-';
        AppendPadded(text, time.GetMonth(), 2);
        text += L'-';
        AppendPadded(text, time.GetDay(), 2);
        text += L'T';
        AppendPadded(text, time.GetHour(), 2);
        text += L':';
        AppendPadded(text, time.GetMinute(), 2);
        text += L':';
        AppendPadded(text, static_cast<int32_t>(seconds), 2);
        text += L".000000";
        if (time.GetTimeZonePresent()) text += L'Z';
        return text;
    }
    thread_local const std::wostringstream pristine;
    thread_local std::wostringstream os;
    os.str(std::wstring());
    os.clear();
    os.copyfmt(pristine);
    time.Write(os);
    return os.str();
}

}  // namespace

CEventQueryRequest::CEventQueryRequest(std::wstring tagName, const std::wstring& requestId)
    : CCmlRequest(std::move(tagName), CML_NS_EVENT_QUERY_MESSAGES,
                  EVENT_QUERY_MESSAGES_SCHEMA_VERSION) {
    SetRequestId(requestId);
}

CEventQueryRequest::~CEventQueryRequest() = default;

CCmlDocumentBase* CEventQueryRequest::Clone() const {
    try {
        return new CEventQueryRequest(*this);
    } catch (const std::bad_alloc&) {
        throw CCmlException(L"Cloning EventQueryMessages request object", L"Insufficient memory",
                            zavToolsLib::ZAV_E_BUFFER_FULL);
    }
}

void CEventQueryRequest::Assign(const CEventQueryRequest& other) {
    if (&other == this) return;
    CCmlRequest::Assign(other);
    SetCount(other.GetCount());
    SetStartCursor(other.GetStartCursor());
    SetEndCursor(other.GetEndCursor());
    SetStartTime(other.GetStartTime());
    SetEndTime(other.GetEndTime());
    m_resultFilter = other.GetResultFilter();
}

uint32_t CEventQueryRequest::GetResultFilterCount() const {
    return static_cast<uint32_t>(m_resultFilter.size());
}

void CEventQueryRequest::SetStartCursor(const wchar_t* cursor) { m_strStartCursor = Text(cursor); }
void CEventQueryRequest::SetEndCursor(const wchar_t* cursor) { m_strEndCursor = Text(cursor); }
void CEventQueryRequest::SetStartTime(const wchar_t* text) { m_startTime.SetFromText(text); }
void CEventQueryRequest::SetStartTime(const XmlUtils::CDateTime& time) { m_startTime = time; }
void CEventQueryRequest::SetEndTime(const wchar_t* text) { m_endTime.SetFromText(text); }
void CEventQueryRequest::SetEndTime(const XmlUtils::CDateTime& time) { m_endTime = time; }

void CEventQueryRequest::AddResultFilterItem(const std::wstring& name) {
    m_resultFilter.push_back(name);
}

uint32_t CEventQueryRequest::GetChildElementCount() const { return m_resultFilter.empty() ? 1 : 2; }

void CEventQueryRequest::Deserialize(const CCmlDOM_Element& element) {
    if (element.IsNull()) {
        throw CCmlException(L"Deserializing EventQueryMessages request node",
                            L"Null element received", CML_E_NULL_ELEMENT);
    }
    CCmlRequest::Deserialize(element);
    try {
        SetTagName(Text(element.getNodeName()));
        SetCount(ReadUnsigned(Attribute(element, CML_TAG_COUNT)));
        SetStartCursor(Attribute(element, CML_TAG_START_CURSOR));
        SetEndCursor(Attribute(element, CML_TAG_END_CURSOR));
        // Children of the derived classes are skipped here and read in their own walk.
        CCmlDOM_Element filter;
        for (CCmlDOM_Node child = element.getFirstChild(); !child.IsNull();
             child = child.getNextSibling()) {
            if (IsVocabularyElement(child, CML_TAG_TIME_RANGE)) {
                CCmlDOM_Element range;
                range.SetDOMElement(child.GetDOMNode());
                SetStartTime(Attribute(range, CML_TAG_START_TIME));
                SetEndTime(Attribute(range, CML_TAG_END_TIME));
            } else if (IsVocabularyElement(child, CML_TAG_RESULT_FILTER)) {
                filter.SetDOMElement(child.GetDOMNode());
            }
        }
        if (!filter.IsNull()) {
            ForEachChild(filter, CML_TAG_RESULT_ITEM, [this](const CCmlDOM_Element& item) {
                AddResultFilterItem(Attribute(item, CML_TAG_NAME));
            });
        }
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(L"Parsing EventQueryMessages request element");
    }
}

template <class Stream>
void CEventQueryRequest::WriteAttributes(Stream& os) const {
    CCmlRequest::SerializeAttributes(os);
    WritePagingAttributes(os, GetCount(), GetStartCursor(), GetEndCursor());
}

template <class Stream>
int CEventQueryRequest::WriteContent(Stream& os, uint32_t level) const {
    WriteStartTagOpen(os, level, CML_TAG_TIME_RANGE);
    WriteEscapedAttribute(os, CML_TAG_START_TIME, TimeText(GetStartTime()));
    WriteEscapedAttribute(os, CML_TAG_END_TIME, TimeText(GetEndTime()));
    WriteText(os, L"/>");
    WriteLineEnd(os);
    if (m_resultFilter.empty()) return 1;
    WriteStartTag(os, level, CML_TAG_RESULT_FILTER);
    for (const std::wstring& name : m_resultFilter) {
        WriteStartTagOpen(os, level + 1, CML_TAG_RESULT_ITEM);
        WriteEscapedAttribute(os, CML_TAG_NAME, name);
        WriteText(os, L"/>");
        WriteLineEnd(os);
    }
    WriteEndTag(os, level, CML_TAG_RESULT_FILTER);
    return 2;
}

void CEventQueryRequest::SerializeAttributes(std::wostream& os) const { WriteAttributes(os); }
void CEventQueryRequest::SerializeAttributes(std::ostream& os) const { WriteAttributes(os); }
int CEventQueryRequest::SerializeContent(std::wostream& os, uint32_t level) const {
    return WriteContent(os, level);
}
int CEventQueryRequest::SerializeContent(std::ostream& os, uint32_t level) const {
    return WriteContent(os, level);
}

}  // namespace zav::cml
