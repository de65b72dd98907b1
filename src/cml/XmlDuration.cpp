#include "cml/XmlDuration.h"

#include <string>

#include "cml/XmlValueText.h"

namespace zav::cml::XmlUtils {

namespace {

template <class Ch>
void WriteDuration(std::basic_ostream<Ch>& os, const CDuration& v) {
    CFormatFlagsGuard<Ch> flags(os);
    os.flags(std::ios_base::dec);
    if (v.IsNegative()) {
        os << '-';
    }
    os << 'P' << v.GetYears() << 'Y' << v.GetMonths() << 'M' << v.GetDays() << "DT" << v.GetHours()
       << 'H' << v.GetMinutes() << 'M' << v.GetSeconds() << 'S';
}

// Hands each number and the designator after it to take, until the 'T' that starts the time
// part or a missing number. Once a number is missing, every later read fails too.
template <class Take>
void ReadComponents(CValueTextReader& reader, Take take) {
    double number = 0.0;
    while (reader.Peek() != L'T' && reader.ReadDouble(number)) {
        take(number, reader.Get());
    }
}

}  // namespace

CDuration::~CDuration() = default;

void CDuration::Assign(const CDuration& other) {
    SetNull(other.IsNull());
    SetNegative(other.IsNegative());
    SetYears(other.GetYears());
    SetMonths(other.GetMonths());
    SetDays(other.GetDays());
    SetHours(other.GetHours());
    SetMinutes(other.GetMinutes());
    SetSeconds(other.GetSeconds());
}

void CDuration::Deserialize(const CCmlDOM_Node& node) {
    const std::wstring text =
        ReadNodeValue(node, L"Processing duration value", L"Deserializing a duration node");
    Clear();
    CValueTextReader reader(text.c_str());
    // The character after an optional '-' is taken to be the 'P' without looking at it.
    if (reader.Get() == L'-') {
        m_bNegative = true;
        reader.Skip();
    }
    // Unknown designators are ignored.
    ReadComponents(reader, [this](double number, wchar_t designator) {
        switch (designator) {
            case L'Y':
                m_iYears = TruncateToInt(number);
                break;
            case L'M':
                m_iMonths = TruncateToInt(number);
                break;
            case L'D':
                m_iDays = TruncateToInt(number);
                break;
            default:
                break;
        }
    });
    reader.Skip();
    ReadComponents(reader, [this](double number, wchar_t designator) {
        switch (designator) {
            case L'H':
                m_iHours = TruncateToInt(number);
                break;
            case L'M':
                m_iMinutes = TruncateToInt(number);
                break;
            case L'S':
                m_dSeconds = number;
                break;
            default:
                break;
        }
    });
}

void CDuration::Write(std::wostream& os) const { WriteDuration(os, *this); }
void CDuration::Write(std::ostream& os) const { WriteDuration(os, *this); }

bool CDuration::IsNull() const { return m_bNull; }
bool CDuration::IsNegative() const { return m_bNegative; }
int32_t CDuration::GetYears() const { return m_iYears; }
int32_t CDuration::GetMonths() const { return m_iMonths; }
int32_t CDuration::GetDays() const { return m_iDays; }
int32_t CDuration::GetHours() const { return m_iHours; }
int32_t CDuration::GetMinutes() const { return m_iMinutes; }
double CDuration::GetSeconds() const { return m_dSeconds; }
void CDuration::SetNull(bool null) { m_bNull = null; }
void CDuration::SetNegative(bool negative) { m_bNegative = negative; }
void CDuration::SetYears(int32_t years) { m_iYears = years; }
void CDuration::SetMonths(int32_t months) { m_iMonths = months; }
void CDuration::SetDays(int32_t days) { m_iDays = days; }
void CDuration::SetHours(int32_t hours) { m_iHours = hours; }
void CDuration::SetMinutes(int32_t minutes) { m_iMinutes = minutes; }
void CDuration::SetSeconds(double seconds) { m_dSeconds = seconds; }

void CDuration::Clear() {
    m_bNull = true;
    m_bNegative = false;
    m_iYears = m_iMonths = m_iDays = m_iHours = m_iMinutes = 0;
    m_dSeconds = 0.0;
}

}  // namespace zav::cml::XmlUtils
