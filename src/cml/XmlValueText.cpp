#include "cml/XmlValueText.h"

#include <xercesc/dom/DOMException.hpp>

#include <charconv>
#include <cmath>
#include <cwchar>
#include <limits>
#include <string>
#include <system_error>

#include "cml/CmlDOM_Exception.h"
#include "cml/CmlDOM_Node.h"
#include "cml/CmlException.h"

namespace zav::cml::XmlUtils {

namespace {

bool IsSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

}  // namespace

CValueTextReader::CValueTextReader(const wchar_t* text)
    : m_pCur(text != nullptr ? text : L""), m_pEnd(m_pCur + std::wcslen(m_pCur)) {}

void CValueTextReader::SkipSpace() {
    while (m_pCur != m_pEnd && IsSpace(*m_pCur)) {
        ++m_pCur;
    }
}

bool CValueTextReader::ReadInt(int32_t& value) {
    if (m_bFailed) {
        return false;
    }
    SkipSpace();
    const wchar_t* p = m_pCur;
    bool negative = false;
    if (p != m_pEnd && (*p == L'+' || *p == L'-')) {
        negative = *p == L'-';
        ++p;
    }
    if (p == m_pEnd || !IsDigit(*p)) {
        m_bFailed = true;
        return false;
    }
    // Accumulate as a negative number so that the most negative value fits.
    int64_t acc = 0;
    bool overflow = false;
    for (; p != m_pEnd && IsDigit(*p); ++p) {
        acc = acc * 10 - (*p - L'0');
        if (acc < -static_cast<int64_t>(std::numeric_limits<int32_t>::max()) - 1) {
            overflow = true;
            acc = 0;
        }
    }
    m_pCur = p;
    if (!negative) {
        acc = -acc;
    }
    if (overflow || acc > std::numeric_limits<int32_t>::max()) {
        m_bFailed = true;
        return false;
    }
    value = static_cast<int32_t>(acc);
    return true;
}

bool CValueTextReader::ReadDouble(double& value) {
    if (m_bFailed) {
        return false;
    }
    SkipSpace();
    const wchar_t* p = m_pCur;
    std::string digits;
    if (p != m_pEnd && (*p == L'+' || *p == L'-')) {
        if (*p == L'-') {
            digits += '-';
        }
        ++p;
    }
    bool mantissa = false;
    for (; p != m_pEnd && IsDigit(*p); ++p) {
        digits += static_cast<char>(*p);
        mantissa = true;
    }
    if (p != m_pEnd && *p == L'.') {
        digits += '.';
        for (++p; p != m_pEnd && IsDigit(*p); ++p) {
            digits += static_cast<char>(*p);
            mantissa = true;
        }
    }
    if (!mantissa) {
        m_bFailed = true;
        return false;
    }
    // An exponent only counts when digits follow it; otherwise the 'e' is left unread.
    if (p != m_pEnd && (*p == L'e' || *p == L'E')) {
        const wchar_t* q = p + 1;
        std::string exponent = "e";
        if (q != m_pEnd && (*q == L'+' || *q == L'-')) {
            exponent += static_cast<char>(*q);
            ++q;
        }
        if (q != m_pEnd && IsDigit(*q)) {
            for (; q != m_pEnd && IsDigit(*q); ++q) {
                exponent += static_cast<char>(*q);
            }
            digits += exponent;
            p = q;
        }
    }
    m_pCur = p;
    double parsed = 0.0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), parsed);
    if (result.ec != std::errc()) {
        m_bFailed = true;
        return false;
    }
    value = parsed;
    return true;
}

void CValueTextReader::Skip() { Get(); }

wchar_t CValueTextReader::Get() {
    if (m_bFailed || m_pCur == m_pEnd) {
        return 0;
    }
    return *m_pCur++;
}

wchar_t CValueTextReader::Peek() const {
    if (m_bFailed || m_pCur == m_pEnd) {
        return 0;
    }
    return *m_pCur;
}

// After the first unreadable number every later read fails too, so the remaining fields keep
// their value.
void ReadDateFields(CValueTextReader& reader, SDateFields& date) {
    reader.ReadInt(date.year);
    reader.Skip();
    reader.ReadInt(date.month);
    reader.Skip();
    reader.ReadInt(date.day);
}

void ReadTimeOfDayFields(CValueTextReader& reader, STimeOfDayFields& time) {
    reader.ReadInt(time.hour);
    reader.Skip();
    reader.ReadInt(time.minute);
    reader.Skip();
    reader.ReadDouble(time.seconds);
}

void ReadTimeZone(CValueTextReader& reader, STimeZoneFields& zone) {
    if (reader.AtEnd()) {
        return;
    }
    zone.present = true;
    if (reader.Peek() == L'Z') {
        return;
    }
    if (reader.ReadInt(zone.hours)) {
        reader.Skip();
        reader.ReadInt(zone.minutes);
    }
}

std::wstring ReadNodeValue(const CCmlDOM_Node& node, const wchar_t* nullContext,
                           const wchar_t* domContext) {
    if (node.IsNull()) {
        throw CCmlException(nullContext, L"Null element received", CML_E_NULL_ELEMENT);
    }
    try {
        const wchar_t* value = node.getNodeValue();
        return value != nullptr ? value : L"";
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(domContext);
    }
}

int32_t TruncateToInt(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    const double truncated = std::trunc(value);
    if (truncated >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    if (truncated <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(truncated);
}

}  // namespace zav::cml::XmlUtils
