#include "cml/XmlTime.h"

#include <string>

#include "cml/XmlValueText.h"

namespace zav::cml::XmlUtils {

namespace {

template <class Ch>
void WriteTime(std::basic_ostream<Ch>& os, const CTime& v) {
    CFormatFlagsGuard<Ch> flags(os);
    PrepareNumberFormat(os);
    WritePadded(os, v.GetHour(), 2);
    os << ':';
    WritePadded(os, v.GetMinute(), 2);
    os << ':';
    WriteSeconds(os, v.GetSeconds());
    WriteTimeZone(os, v.GetTimeZonePresent(), v.GetTimeZoneHours(), v.GetTimeZoneMinutes());
}

}  // namespace

CTime::~CTime() = default;

void CTime::Assign(const CTime& other) {
    SetHour(other.GetHour());
    SetMinute(other.GetMinute());
    SetSeconds(other.GetSeconds());
    SetTimeZonePresent(other.GetTimeZonePresent());
    SetTimeZoneHours(other.GetTimeZoneHours());
    SetTimeZoneMinutes(other.GetTimeZoneMinutes());
}

void CTime::Deserialize(const CCmlDOM_Node& node) {
    const std::wstring text =
        ReadNodeValue(node, L"Processing time value", L"Deserializing a time node");
    Clear();
    CValueTextReader reader(text.c_str());
    reader.ReadInt(m_iHour);
    reader.Skip();
    reader.ReadInt(m_iMinute);
    reader.Skip();
    reader.ReadDouble(m_dSeconds);
    ReadTimeZone(reader, m_bTimeZone, m_iTzHours, m_iTzMinutes);
}

void CTime::Write(std::wostream& os) const { WriteTime(os, *this); }
void CTime::Write(std::ostream& os) const { WriteTime(os, *this); }

bool CTime::IsNull() const { return m_iHour < 0; }
int32_t CTime::GetHour() const { return m_iHour; }
int32_t CTime::GetMinute() const { return m_iMinute; }
double CTime::GetSeconds() const { return m_dSeconds; }
bool CTime::GetTimeZonePresent() const { return m_bTimeZone; }
int32_t CTime::GetTimeZoneHours() const { return m_iTzHours; }
int32_t CTime::GetTimeZoneMinutes() const { return m_iTzMinutes; }
void CTime::SetHour(int32_t hour) { m_iHour = hour; }
void CTime::SetMinute(int32_t minute) { m_iMinute = minute; }
void CTime::SetSeconds(double seconds) { m_dSeconds = seconds; }
void CTime::SetTimeZonePresent(bool present) { m_bTimeZone = present; }
void CTime::SetTimeZoneHours(int32_t hours) { m_iTzHours = hours; }
void CTime::SetTimeZoneMinutes(int32_t minutes) { m_iTzMinutes = minutes; }

void CTime::Clear() {
    m_iHour = -1;
    m_iMinute = 0;
    m_dSeconds = 0.0;
    m_bTimeZone = false;
    m_iTzHours = m_iTzMinutes = 0;
}

}  // namespace zav::cml::XmlUtils
