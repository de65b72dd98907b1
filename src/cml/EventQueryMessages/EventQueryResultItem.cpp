#include "cml/EventQueryMessages/EventQueryResultItem.h"

#include <xercesc/dom/DOMException.hpp>

#include <utility>

#include "cml/CmlDOM_Element.h"
#include "cml/CmlDOM_Exception.h"
#include "cml/CmlException.h"
#include "cml/CmlTagNames.h"
#include "cml/CmlWriter.h"
#include "cml/EventQueryMessages/EventQueryMessages.h"

namespace zav::cml {

using EventQueryMessages::ForEachChild;
using EventQueryMessages::Text;

namespace {
constexpr wchar_t DESERIALIZING_ITEM[] = L"Deserializing result item";
}  // namespace

CEventQueryResultItem::CEventQueryResultItem(std::wstring tagName, std::wstring resultId)
    : m_strTagName(std::move(tagName)), m_strResultId(std::move(resultId)) {}

CEventQueryResultItem::~CEventQueryResultItem() = default;

CEventQueryResultItem* CEventQueryResultItem::Clone() const {
    return new CEventQueryResultItem(*this);
}

bool CEventQueryResultItem::GetDataValue(const std::wstring& name, std::wstring& value) const {
    const std::wstring* found = FindDataValue(name);
    if (found == nullptr) return false;
    value = *found;
    return true;
}

const std::wstring* CEventQueryResultItem::FindDataValue(const std::wstring& name) const {
    for (const DataPair& pair : m_data) {
        if (pair.first == name) return &pair.second;
    }
    return nullptr;
}

uint32_t CEventQueryResultItem::GetDataCount() const {
    return static_cast<uint32_t>(m_data.size());
}

void CEventQueryResultItem::SetTagName(const wchar_t* tagName) { m_strTagName = Text(tagName); }
void CEventQueryResultItem::SetResultId(const wchar_t* resultId) { m_strResultId = Text(resultId); }

void CEventQueryResultItem::AddData(const std::wstring& name, const std::wstring& value) {
    m_data.emplace_back(name, value);
}

void CEventQueryResultItem::AddData(std::wstring&& name, std::wstring&& value) {
    m_data.emplace_back(std::move(name), std::move(value));
}

namespace {
// A string's heap block (none while it fits in the object), with the allocator's own header.
std::size_t HeapBytes(const std::wstring& text) {
    constexpr std::size_t kInPlace = 15 / sizeof(wchar_t);
    return text.capacity() > kInPlace ? (text.capacity() + 1) * sizeof(wchar_t) + 16 : 0;
}
}  // namespace

std::size_t CEventQueryResultItem::GetFootprint() const {
    std::size_t bytes = sizeof(*this) + HeapBytes(m_strTagName) + HeapBytes(m_strResultId) +
                        m_data.capacity() * sizeof(DataPair) + 16;
    for (const DataPair& pair : m_data) {
        bytes += HeapBytes(pair.first) + HeapBytes(pair.second);
    }
    return bytes;
}

void CEventQueryResultItem::Deserialize(const CCmlDOM_Element& element) {
    if (element.IsNull()) {
        throw CCmlException(DESERIALIZING_ITEM, L"Null element received", CML_E_NULL_ELEMENT);
    }
    try {
        // Converted straight into the members: no temporary strings.
        element.getTagName(m_strTagName);
        element.getAttribute(CML_TAG_RESULT_ID, m_strResultId);
        ForEachChild(element, CML_TAG_RESULT_DATA, [this](const CCmlDOM_Element& data) {
            DataPair& pair = m_data.emplace_back();
            data.getAttribute(CML_TAG_NAME, pair.first);
            data.getAttribute(CML_TAG_VALUE, pair.second);
        });
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(DESERIALIZING_ITEM);
    }
}

template <class Stream>
void CEventQueryResultItem::WriteAttributes(Stream& os) const {
    if (!GetResultId().empty()) WriteEscapedAttribute(os, CML_TAG_RESULT_ID, GetResultId());
}

template <class Stream>
void CEventQueryResultItem::WriteElement(Stream& os, uint32_t level) const {
    zav::cml::WriteElement(
        os, level, GetTagName(), !m_data.empty(), [this](Stream& out) { SerializeAttributes(out); },
        [this](Stream& out, uint32_t inner) { SerializeContent(out, inner); });
}

template <class Stream>
int CEventQueryResultItem::WriteContent(Stream& os, uint32_t level) const {
    // One level deeper than the content level, as the established wire form has it.
    for (const DataPair& pair : m_data) {
        WriteStartTagOpen(os, level + 1, CML_TAG_RESULT_DATA);
        WriteEscapedAttribute(os, CML_TAG_NAME, pair.first);
        WriteEscapedAttribute(os, CML_TAG_VALUE, pair.second);
        WriteText(os, L"/>");
        WriteLineEnd(os);
    }
    return static_cast<int>(m_data.size());
}

void CEventQueryResultItem::SerializeAttributes(std::wostream& os) const { WriteAttributes(os); }
void CEventQueryResultItem::SerializeAttributes(std::ostream& os) const { WriteAttributes(os); }
void CEventQueryResultItem::SerializeElement(std::wostream& os, uint32_t level) const {
    WriteElement(os, level);
}
void CEventQueryResultItem::SerializeElement(std::ostream& os, uint32_t level) const {
    WriteElement(os, level);
}
int CEventQueryResultItem::SerializeContent(std::wostream& os, uint32_t level) const {
    return WriteContent(os, level);
}
int CEventQueryResultItem::SerializeContent(std::ostream& os, uint32_t level) const {
    return WriteContent(os, level);
}

}  // namespace zav::cml
