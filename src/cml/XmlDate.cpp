#include "cml/XmlDate.h"

#include <string>

#include "cml/XmlValueText.h"

namespace zav::cml::XmlUtils {

namespace {

template <class Ch>
void WriteDate(std::basic_ostream<Ch>& os, const CDate& v) {
    CFormatFlagsGuard<Ch> flags(os);
    PrepareNumberFormat(os);
    WritePadded(os, v.GetYear(), 4);
    os << '-';
    WritePadded(os, v.GetMonth(), 2);
    os << '-';
    WritePadded(os, v.GetDay(), 2);
    WriteTimeZone(os, v.GetTimeZonePresent(), v.GetTimeZoneHours(), v.GetTimeZoneMinutes());
}

}  // namespace

CDate::~CDate() = default;

void CDate::Assign(const CDate& other) {
    SetYear(other.GetYear());
    SetMonth(other.GetMonth());
    SetDay(other.GetDay());
    SetTimeZonePresent(other.GetTimeZonePresent());
    SetTimeZoneHours(other.GetTimeZoneHours());
    SetTimeZoneMinutes(other.GetTimeZoneMinutes());
}

void CDate::Deserialize(const CCmlDOM_Node& node) {
    const std::wstring text =
        ReadNodeValue(node, L"Processing date value", L"Deserializing a date node");
    Clear();
    CValueTextReader reader(text.c_str());
    reader.ReadInt(m_iYear);
    reader.Skip();
    reader.ReadInt(m_iMonth);
    reader.Skip();
    reader.ReadInt(m_iDay);
    ReadTimeZone(reader, m_bTimeZone, m_iTzHours, m_iTzMinutes);
}

void CDate::Write(std::wostream& os) const { WriteDate(os, *this); }
void CDate::Write(std::ostream& os) const { WriteDate(os, *this); }

bool CDate::IsNull() const { return m_iYear == 0; }
int32_t CDate::GetYear() const { return m_iYear; }
int32_t CDate::GetMonth() const { return m_iMonth; }
int32_t CDate::GetDay() const { return m_iDay; }
bool CDate::GetTimeZonePresent() const { return m_bTimeZone; }
int32_t CDate::GetTimeZoneHours() const { return m_iTzHours; }
int32_t CDate::GetTimeZoneMinutes() const { return m_iTzMinutes; }
void CDate::SetYear(int32_t year) { m_iYear = year; }
void CDate::SetMonth(int32_t month) { m_iMonth = month; }
void CDate::SetDay(int32_t day) { m_iDay = day; }
void CDate::SetTimeZonePresent(bool present) { m_bTimeZone = present; }
void CDate::SetTimeZoneHours(int32_t hours) { m_iTzHours = hours; }
void CDate::SetTimeZoneMinutes(int32_t minutes) { m_iTzMinutes = minutes; }

void CDate::Clear() {
    m_iYear = m_iMonth = m_iDay = 0;
    m_bTimeZone = false;
    m_iTzHours = m_iTzMinutes = 0;
}

}  // namespace zav::cml::XmlUtils
