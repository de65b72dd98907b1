#include "cml/XmlDateTime.h"

namespace zav::cml::XmlUtils {

namespace {

template <class Ch>
void WriteDateTime(std::basic_ostream<Ch>& os, const CDateTime& v) {
    CFormatFlagsGuard<Ch> flags(os);
    PrepareNumberFormat(os);
    WriteDateFields(os, v);
    os << 'T';
    WriteTimeOfDayFields(os, v);
    WriteTimeZoneFields(os, v);
}

}  // namespace

CDateTime::~CDateTime() = default;

void CDateTime::Assign(const CDateTime& other) {
    AssignDateFields(*this, other);
    AssignTimeOfDayFields(*this, other);
    AssignTimeZoneFields(*this, other);
}

void CDateTime::Deserialize(const CCmlDOM_Node& node) {
    SetFromText(
        ReadNodeValue(node, L"Processing dateTime value", L"Deserializing a dateTime node"));
}

void CDateTime::Write(std::wostream& os) const { WriteDateTime(os, *this); }
void CDateTime::Write(std::ostream& os) const { WriteDateTime(os, *this); }

bool CDateTime::IsNull() const { return m_date.year == 0; }
int32_t CDateTime::GetYear() const { return m_date.year; }
int32_t CDateTime::GetMonth() const { return m_date.month; }
int32_t CDateTime::GetDay() const { return m_date.day; }
int32_t CDateTime::GetHour() const { return m_time.hour; }
int32_t CDateTime::GetMinute() const { return m_time.minute; }
double CDateTime::GetSeconds() const { return m_time.seconds; }
bool CDateTime::GetTimeZonePresent() const { return m_zone.present; }
int32_t CDateTime::GetTimeZoneHours() const { return m_zone.hours; }
int32_t CDateTime::GetTimeZoneMinutes() const { return m_zone.minutes; }
void CDateTime::SetYear(int32_t year) { m_date.year = year; }
void CDateTime::SetMonth(int32_t month) { m_date.month = month; }
void CDateTime::SetDay(int32_t day) { m_date.day = day; }
void CDateTime::SetHour(int32_t hour) { m_time.hour = hour; }
void CDateTime::SetMinute(int32_t minute) { m_time.minute = minute; }
void CDateTime::SetSeconds(double seconds) { m_time.seconds = seconds; }
void CDateTime::SetTimeZonePresent(bool present) { m_zone.present = present; }
void CDateTime::SetTimeZoneHours(int32_t hours) { m_zone.hours = hours; }
void CDateTime::SetTimeZoneMinutes(int32_t minutes) { m_zone.minutes = minutes; }

void CDateTime::Clear() {
    m_date = {};
    m_time = {};
    m_zone = {};
}

void CDateTime::SetFromText(const wchar_t* text) {
    Clear();
    CValueTextReader reader(text);
    // Separators are skipped unexamined.
    ReadDateFields(reader, m_date);
    reader.Skip();
    ReadTimeOfDayFields(reader, m_time);
    ReadTimeZone(reader, m_zone);
}

}  // namespace zav::cml::XmlUtils
