// CEventQueryResultItem: one vulnerability or observance of a query response, an identifier and an
// open list of name/value pairs. Written as
//     <vulnerability-item result-id='17'>
//             <result-data name='a' value='1'/>
//     </vulnerability-item>
// (result data two levels deeper than the item's tag: the established wire form).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace zav::cml {

class CCmlDOM_Element;

class CEventQueryResultItem {
public:
    using DataPair = std::pair<std::wstring, std::wstring>;  // name, value
    using DataList = std::vector<DataPair>;
    using DataIterator = DataList::iterator;
    using ConstDataIterator = DataList::const_iterator;

    CEventQueryResultItem() = default;
    explicit CEventQueryResultItem(std::wstring tagName, std::wstring resultId = std::wstring());
    CEventQueryResultItem(const CEventQueryResultItem&) = default;
    CEventQueryResultItem& operator=(const CEventQueryResultItem&) = default;
    // Moves keep a growing item list from copying every item it already holds.
    CEventQueryResultItem(CEventQueryResultItem&&) noexcept = default;
    CEventQueryResultItem& operator=(CEventQueryResultItem&&) noexcept = default;

    virtual ~CEventQueryResultItem();
    // A new heap copy owned by the caller.
    virtual CEventQueryResultItem* Clone() const;
    virtual const std::wstring& GetTagName() const { return m_strTagName; }
    virtual const std::wstring& GetResultId() const { return m_strResultId; }
    // The value of the first pair named name (exact comparison) into value; false, with value
    // unchanged, when there is none.
    virtual bool GetDataValue(const std::wstring& name, std::wstring& value) const;
    // The value of the first pair named name, or null.
    virtual const std::wstring* FindDataValue(const std::wstring& name) const;
    virtual uint32_t GetDataCount() const;
    virtual DataIterator DataBegin() { return m_data.begin(); }
    virtual DataIterator DataEnd() { return m_data.end(); }
    virtual ConstDataIterator DataBegin() const { return m_data.begin(); }
    virtual ConstDataIterator DataEnd() const { return m_data.end(); }
    virtual void SetTagName(const wchar_t* tagName);
    virtual void SetResultId(const wchar_t* resultId);
    // Appended at the end, also when a pair of that name exists.
    virtual void AddData(const std::wstring& name, const std::wstring& value);
    void AddData(std::wstring&& name, std::wstring&& value);
    // Bytes the item holds on the heap and in itself, near enough to bound what a read makes.
    std::size_t GetFootprint() const;
    virtual void ClearData() { m_data.clear(); }
    // result-id='ID' when the id is not empty.
    virtual void SerializeAttributes(std::wostream& os) const;
    virtual void SerializeAttributes(std::ostream& os) const;
    // The item at an indentation level: an empty element without pairs.
    virtual void SerializeElement(std::wostream& os, uint32_t level) const;
    virtual void SerializeElement(std::ostream& os, uint32_t level) const;
    // Element name, result-id and the result-data children of the EventQueryMessages namespace;
    // other children are skipped. Raises "Deserializing result item".
    virtual void Deserialize(const CCmlDOM_Element& element);
    // One result-data line per pair at level + 1; returns the number of pairs.
    virtual int SerializeContent(std::wostream& os, uint32_t level) const;
    virtual int SerializeContent(std::ostream& os, uint32_t level) const;
    virtual DataList& GetData() { return m_data; }
    virtual const DataList& GetData() const { return m_data; }

    void SetTagName(const std::wstring& tagName) { SetTagName(tagName.c_str()); }
    void SetResultId(const std::wstring& resultId) { SetResultId(resultId.c_str()); }

private:
    template <class Stream>
    void WriteAttributes(Stream& os) const;
    template <class Stream>
    void WriteElement(Stream& os, uint32_t level) const;
    template <class Stream>
    int WriteContent(Stream& os, uint32_t level) const;

    std::wstring m_strTagName;
    std::wstring m_strResultId;
    DataList m_data;
};

}  // namespace zav::cml
