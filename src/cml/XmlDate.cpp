#include "cml/XmlDate.h"

#include <string>

namespace zav::cml::XmlUtils {

namespace {

template <class Ch>
void WriteDate(std::basic_ostream<Ch>& os, const CDate& v) {
    CFormatFlagsGuard<Ch> flags(os);
    PrepareNumberFormat(os);
    WriteDateFields(os, v);
    WriteTimeZoneFields(os, v);
}

}  // namespace

CDate::~CDate() = default;

void CDate::Assign(const CDate& other) {
    AssignDateFields(*this, other);
    AssignTimeZoneFields(*this, other);
}

void CDate::Deserialize(const CCmlDOM_Node& node) {
    const std::wstring text =
        ReadNodeValue(node, L"Processing date value", L"Deserializing a date node");
    Clear();
    CValueTextReader reader(text.c_str());
    ReadDateFields(reader, m_date);
    ReadTimeZone(reader, m_zone);
}

void CDate::Write(std::wostream& os) const { WriteDate(os, *this); }
void CDate::Write(std::ostream& os) const { WriteDate(os, *this); }

bool CDate::IsNull() const { return m_date.year == 0; }
int32_t CDate::GetYear() const { return m_date.year; }
int32_t CDate::GetMonth() const { return m_date.month; }
int32_t CDate::GetDay() const { return m_date.day; }
bool CDate::GetTimeZonePresent() const { return m_zone.present; }
int32_t CDate::GetTimeZoneHours() const { return m_zone.hours; }
int32_t CDate::GetTimeZoneMinutes() const { return m_zone.minutes; }
void CDate::SetYear(int32_t year) { m_date.year = year; }
void CDate::SetMonth(int32_t month) { m_date.month = month; }
void CDate::SetDay(int32_t day) { m_date.day = day; }
void CDate::SetTimeZonePresent(bool present) { m_zone.present = present; }
void CDate::SetTimeZoneHours(int32_t hours) { m_zone.hours = hours; }
void CDate::SetTimeZoneMinutes(int32_t minutes) { m_zone.minutes = minutes; }

void CDate::Clear() {
    m_date = {};
    m_zone = {};
}

}  // namespace zav::cml::XmlUtils
