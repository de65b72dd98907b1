#include "cml/XmlTime.h"

#include <string>

namespace zav::cml::XmlUtils {

namespace {

template <class Ch>
void WriteTime(std::basic_ostream<Ch>& os, const CTime& v) {
    CFormatFlagsGuard<Ch> flags(os);
    PrepareNumberFormat(os);
    WriteTimeOfDayFields(os, v);
    WriteTimeZoneFields(os, v);
}

}  // namespace

CTime::~CTime() = default;

void CTime::Assign(const CTime& other) {
    AssignTimeOfDayFields(*this, other);
    AssignTimeZoneFields(*this, other);
}

void CTime::Deserialize(const CCmlDOM_Node& node) {
    const std::wstring text =
        ReadNodeValue(node, L"Processing time value", L"Deserializing a time node");
    Clear();
    CValueTextReader reader(text.c_str());
    ReadTimeOfDayFields(reader, m_time);
    ReadTimeZone(reader, m_zone);
}

void CTime::Write(std::wostream& os) const { WriteTime(os, *this); }
void CTime::Write(std::ostream& os) const { WriteTime(os, *this); }

bool CTime::IsNull() const { return m_time.hour < 0; }
int32_t CTime::GetHour() const { return m_time.hour; }
int32_t CTime::GetMinute() const { return m_time.minute; }
double CTime::GetSeconds() const { return m_time.seconds; }
bool CTime::GetTimeZonePresent() const { return m_zone.present; }
int32_t CTime::GetTimeZoneHours() const { return m_zone.hours; }
int32_t CTime::GetTimeZoneMinutes() const { return m_zone.minutes; }
void CTime::SetHour(int32_t hour) { m_time.hour = hour; }
void CTime::SetMinute(int32_t minute) { m_time.minute = minute; }
void CTime::SetSeconds(double seconds) { m_time.seconds = seconds; }
void CTime::SetTimeZonePresent(bool present) { m_zone.present = present; }
void CTime::SetTimeZoneHours(int32_t hours) { m_zone.hours = hours; }
void CTime::SetTimeZoneMinutes(int32_t minutes) { m_zone.minutes = minutes; }

void CTime::Clear() {
    m_time = {kNullHour};
    m_zone = {};
}

}  // namespace zav::cml::XmlUtils
