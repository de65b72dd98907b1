// Shared pieces of the XML Schema date, time and duration values: a lenient reader of their
// lexical forms and the formatting of the common fields. Internal to the CML layer.
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

// Reads the optional zone that follows a date or time: "Z", or signed hours, one separator and
// minutes. The zone counts as present whenever the text was not exhausted.
void ReadTimeZone(CValueTextReader& reader, bool& present, int32_t& hours, int32_t& minutes);

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

// Nothing without a zone, "Z" for a zero offset, otherwise +hh:mm / -hh:mm.
template <class Ch>
void WriteTimeZone(std::basic_ostream<Ch>& os, bool present, int32_t hours, int32_t minutes) {
    if (!present) {
        return;
    }
    if (hours == 0 && minutes == 0) {
        os << 'Z';
        return;
    }
    os << std::showpos << std::setw(3) << hours << std::noshowpos << ':' << std::setw(2) << minutes;
}

}  // namespace zav::cml::XmlUtils
