// Shared pieces of the XML Schema date, time and duration values: a lenient reader of their
// lexical forms, the field groups date, time and dateTime have in common, and their reading,
// writing and copying. Internal to the CML layer.
#pragma once

#include <cstdint>
#include <iomanip>
#include <ostream>
#include <string>

namespace zav::cml {
class CCmlDOM_Node;
}

namespace zav::cml::XmlUtils {

// Reads numbers and single characters from a text the way a formatted input stream would:
// numbers skip leading white space, and once a read has failed every later read fails too.
// Nothing is ever reported beyond the boolean results.
class CValueTextReader {
public:
    // A null text reads as an empty one.
    explicit CValueTextReader(const wchar_t* text);

    // Signed decimal integer; false (value untouched) when none can be read or it overflows.
    bool ReadInt(int32_t& value);
    // Decimal floating-point number with optional fraction and exponent.
    bool ReadDouble(double& value);
    // Consumes one character without looking at it (none when the text is exhausted or failed).
    void Skip();
    // Consumes and returns one character; 0 when there is none.
    wchar_t Get();
    // The next character without consuming it; 0 when the text is exhausted or failed.
    wchar_t Peek() const;
    // True when every character of the text has been consumed.
    bool AtEnd() const { return m_pCur == m_pEnd; }

private:
    void SkipSpace();

    const wchar_t* m_pCur;
    const wchar_t* m_pEnd;
    bool m_bFailed = false;
};

// The field groups of the date, time and dateTime values, held by value inside each class (each
// class keeps its own virtual accessors).
struct SDateFields {
    int32_t year = 0;
    int32_t month = 0;
    int32_t day = 0;
};

struct STimeOfDayFields {
    int32_t hour = 0;
    int32_t minute = 0;
    double seconds = 0.0;
};

// Offset hours carry the sign; -05:30 is hours -5 and minutes 30.
struct STimeZoneFields {
    bool present = false;
    int32_t hours = 0;
    int32_t minutes = 0;
};

// year, month and day with one unexamined separator between them.
void ReadDateFields(CValueTextReader& reader, SDateFields& date);
// hour, minute and seconds with one unexamined separator between them.
void ReadTimeOfDayFields(CValueTextReader& reader, STimeOfDayFields& time);
// Reads the optional zone that follows a date or time: "Z", or signed hours, one separator and
// minutes. The zone counts as present whenever the text was not exhausted.
void ReadTimeZone(CValueTextReader& reader, STimeZoneFields& zone);

// The value of a DOM node for Deserialize (an attribute's text, an absent value as empty). A null
// node raises "Null element received" under nullContext; a DOM error is re-raised as a
// CCmlException under domContext.
std::wstring ReadNodeValue(const CCmlDOM_Node& node, const wchar_t* nullContext,
                           const wchar_t* domContext);

// Truncates toward zero into the 32-bit range (out-of-range values are clamped).
int32_t TruncateToInt(double value);

// Puts a stream's format flags back when a writer is done; the fill character is left as set.
template <class Ch>
class CFormatFlagsGuard {
public:
    explicit CFormatFlagsGuard(std::basic_ostream<Ch>& os) : m_os(os), m_flags(os.flags()) {}
    ~CFormatFlagsGuard() { m_os.flags(m_flags); }
    CFormatFlagsGuard(const CFormatFlagsGuard&) = delete;
    CFormatFlagsGuard& operator=(const CFormatFlagsGuard&) = delete;

private:
    std::basic_ostream<Ch>& m_os;
    std::ios_base::fmtflags m_flags;
};

// Prepares a stream for the zero-padded fields: decimal, sign after padding, fill '0'.
template <class Ch>
void PrepareNumberFormat(std::basic_ostream<Ch>& os) {
    os.flags(std::ios_base::dec | std::ios_base::internal);
    os.fill(os.widen('0'));
}

template <class Ch>
void WritePadded(std::basic_ostream<Ch>& os, int32_t value, int width) {
    os << std::setw(width) << value;
}

// Seconds in fixed notation at the stream's precision, nine characters at least.
template <class Ch>
void WriteSeconds(std::basic_ostream<Ch>& os, double seconds) {
    os << std::fixed << std::setw(9) << seconds;
    os.unsetf(std::ios_base::floatfield);
}

// Writers of the field groups from a value's getters, on a stream set up by PrepareNumberFormat.

// yyyy-mm-dd
template <class Ch, class Value>
void WriteDateFields(std::basic_ostream<Ch>& os, const Value& v) {
    WritePadded(os, v.GetYear(), 4);
    os << '-';
    WritePadded(os, v.GetMonth(), 2);
    os << '-';
    WritePadded(os, v.GetDay(), 2);
}

// hh:mm:ss.ssssss
template <class Ch, class Value>
void WriteTimeOfDayFields(std::basic_ostream<Ch>& os, const Value& v) {
    WritePadded(os, v.GetHour(), 2);
    os << ':';
    WritePadded(os, v.GetMinute(), 2);
    os << ':';
    WriteSeconds(os, v.GetSeconds());
}

// Nothing without a zone, "Z" for a zero offset, otherwise +hh:mm / -hh:mm.
template <class Ch, class Value>
void WriteTimeZoneFields(std::basic_ostream<Ch>& os, const Value& v) {
    if (!v.GetTimeZonePresent()) {
        return;
    }
    const int32_t hours = v.GetTimeZoneHours();
    const int32_t minutes = v.GetTimeZoneMinutes();
    if (hours == 0 && minutes == 0) {
        os << 'Z';
        return;
    }
    os << std::showpos << std::setw(3) << hours << std::noshowpos << ':' << std::setw(2) << minutes;
}

// Copies of the field groups through the getters and setters, for the values' Assign.

template <class Value>
void AssignDateFields(Value& to, const Value& from) {
    to.SetYear(from.GetYear());
    to.SetMonth(from.GetMonth());
    to.SetDay(from.GetDay());
}

template <class Value>
void AssignTimeOfDayFields(Value& to, const Value& from) {
    to.SetHour(from.GetHour());
    to.SetMinute(from.GetMinute());
    to.SetSeconds(from.GetSeconds());
}

template <class Value>
void AssignTimeZoneFields(Value& to, const Value& from) {
    to.SetTimeZonePresent(from.GetTimeZonePresent());
    to.SetTimeZoneHours(from.GetTimeZoneHours());
    to.SetTimeZoneMinutes(from.GetTimeZoneMinutes());
}

}  // namespace zav::cml::XmlUtils
