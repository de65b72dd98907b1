#include "cml/XmlDateTime.h"

#include "cml/XmlValueText.h"

namespace zav::cml::XmlUtils {

namespace {

template <class Ch>
void WriteDateTime(std::basic_ostream<Ch>& os, const CDateTime& v) {
    CFormatFlagsGuard<Ch> flags(os);
    PrepareNumberFormat(os);
    WritePadded(os, v.GetYear(), 4);
    os << '-';
    WritePadded(os, v.GetMonth(), 2);
    os << '-';
    WritePadded(os, v.GetDay(), 2);
    os << 'T';
    WritePadded(os, v.GetHour(), 2);
    os << ':';
    WritePadded(os, v.GetMinute(), 2);
    os << ':';
    WriteSeconds(os, v.GetSeconds());
    WriteTimeZone(os, v.GetTimeZonePresent(), v.GetTimeZoneHours(), v.GetTimeZoneMinutes());
}

}  // namespace

CDateTime::~CDateTime() = default;

void CDateTime::Assign(const CDateTime& other) {
    SetYear(other.GetYear());
    SetMonth(other.GetMonth());
    SetDay(other.GetDay());
    SetHour(other.GetHour());
    SetMinute(other.GetMinute());
    SetSeconds(other.GetSeconds());
    SetTimeZonePresent(other.GetTimeZonePresent());
    SetTimeZoneHours(other.GetTimeZoneHours());
    SetTimeZoneMinutes(other.GetTimeZoneMinutes());
}

void CDateTime::Deserialize(const CCmlDOM_Node& node) {
    SetFromText(
        ReadNodeValue(node, L"Processing dateTime value", L"Deserializing a dateTime node"));
}

void CDateTime::Write(std::wostream& os) const { WriteDateTime(os, *this); }
void CDateTime::Write(std::ostream& os) const { WriteDateTime(os, *this); }

bool CDateTime::IsNull() const { return m_iYear == 0; }
int32_t CDateTime::GetYear() const { return m_iYear; }
int32_t CDateTime::GetMonth() const { return m_iMonth; }
int32_t CDateTime::GetDay() const { return m_iDay; }
int32_t CDateTime::GetHour() const { return m_iHour; }
int32_t CDateTime::GetMinute() const { return m_iMinute; }
double CDateTime::GetSeconds() const { return m_dSeconds; }
bool CDateTime::GetTimeZonePresent() const { return m_bTimeZone; }
int32_t CDateTime::GetTimeZoneHours() const { return m_iTzHours; }
int32_t CDateTime::GetTimeZoneMinutes() const { return m_iTzMinutes; }
void CDateTime::SetYear(int32_t year) { m_iYear = year; }
void CDateTime::SetMonth(int32_t month) { m_iMonth = month; }
void CDateTime::SetDay(int32_t day) { m_iDay = day; }
void CDateTime::SetHour(int32_t hour) { m_iHour = hour; }
void CDateTime::SetMinute(int32_t minute) { m_iMinute = minute; }
void CDateTime::SetSeconds(double seconds) { m_dSeconds = seconds; }
void CDateTime::SetTimeZonePresent(bool present) { m_bTimeZone = present; }
void CDateTime::SetTimeZoneHours(int32_t hours) { m_iTzHours = hours; }
void CDateTime::SetTimeZoneMinutes(int32_t minutes) { m_iTzMinutes = minutes; }

void CDateTime::Clear() {
    m_iYear = m_iMonth = m_iDay = m_iHour = m_iMinute = 0;
    m_dSeconds = 0.0;
    m_bTimeZone = false;
    m_iTzHours = m_iTzMinutes = 0;
}

void CDateTime::SetFromText(const wchar_t* text) {
    Clear();
    CValueTextReader reader(text);
    // Separators are skipped unexamined; after the first unreadable number every later read
    // fails too, so the remaining fields keep their cleared value.
    reader.ReadInt(m_iYear);
    reader.Skip();
    reader.ReadInt(m_iMonth);
    reader.Skip();
    reader.ReadInt(m_iDay);
    reader.Skip();
    reader.ReadInt(m_iHour);
    reader.Skip();
    reader.ReadInt(m_iMinute);
    reader.Skip();
    reader.ReadDouble(m_dSeconds);
    ReadTimeZone(reader, m_bTimeZone, m_iTzHours, m_iTzMinutes);
}

}  // namespace zav::cml::XmlUtils
