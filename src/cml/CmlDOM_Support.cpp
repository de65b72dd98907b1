#include "cml/CmlDOM_Support.h"

#include <iterator>
#include <type_traits>

#include "cml/CmlException.h"
#include "zavToolsLib/ConvertUTF.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml {

namespace dom_detail {

namespace {

std::wstring Context(const char* cls, const char* op) {
    return zavToolsLib::FromUtf8(std::string(cls) + "::" + op + "()");
}

}  // namespace

XStr::XStr(const wchar_t* s) {
    if (s == nullptr) return;
    // Names below the surrogates are copied unit for unit.
    std::size_t n = 0;
    while (n + 1 < std::size(m_inPlace) && s[n] != 0 && static_cast<uint32_t>(s[n]) < 0xD800) {
        m_inPlace[n] = static_cast<XMLCh>(s[n]);
        ++n;
    }
    if (s[n] == 0) {
        m_inPlace[n] = 0;
        m_pText = m_inPlace;
        return;
    }
    const wchar_t* from = s;
    const wchar_t* const end = s + std::char_traits<wchar_t>::length(s);
    char16_t* to = m_inPlace;
    // Lenient conversion; one unit is kept for the terminating NUL.
    if (zavToolsLib::Utf32ToUtf16(from, end, to, m_inPlace + std::size(m_inPlace) - 1, true) !=
        zavToolsLib::ZAV_E_BUFFER_FULL) {
        *to = 0;
        m_pText = m_inPlace;
        return;
    }
    m_str = zavToolsLib::ToUtf16(std::wstring_view(s, static_cast<std::size_t>(end - s)));
    m_pText = m_str.c_str();
}

const XMLCh* AttributeValue(const xercesc::DOMAttr* attribute) {
    const xercesc::DOMNode* const first = attribute->getFirstChild();
    if (first != nullptr && first->getNodeType() == xercesc::DOMNode::TEXT_NODE &&
        first->getNextSibling() == nullptr) {
        return first->getNodeValue();
    }
    return attribute->getValue();
}

void ConvertInto(std::wstring& out, const XMLCh* s) {
    if (s == nullptr) {
        out.clear();
        return;
    }
    // Short texts below the surrogates, names and most values, in one pass and one assignment.
    wchar_t buffer[64];
    std::size_t n = 0;
    while (n < std::size(buffer) && s[n] != 0 && s[n] < 0xD800) {
        buffer[n] = static_cast<wchar_t>(s[n]);
        ++n;
    }
    if (s[n] == 0) {
        out.assign(buffer, n);
        return;
    }
    out.clear();
    // Sized once: a UTF-16 text never has fewer units than code points.
    const std::size_t length = std::char_traits<char16_t>::length(s);
    out.reserve(length);
    const char16_t* from = s;
    zavToolsLib::Utf16ToUtf32(from, s + length, out, true);  // as StoreResult: the same text
}

const wchar_t* StoreResult(std::wstring& slot, const XMLCh* s) {
    if (s == nullptr) return nullptr;
    // Converted in place so that the slot keeps its buffer when it is large enough.
    slot.clear();
    zavToolsLib::Utf16ToUtf32(s, slot, true);
    return slot.c_str();
}

bool SameText(const XMLCh* text, const wchar_t* wide) {
    if (text == nullptr) return false;
    if (wide == nullptr) wide = L"";
    for (;; ++text, ++wide) {
        // wchar_t is 32 bits wide here; the check's unsigned char cast would cut it to 8.
        // NOLINTNEXTLINE(bugprone-signed-char-misuse,cert-str34-c)
        const uint32_t w = static_cast<std::make_unsigned_t<wchar_t>>(*wide);
        if (w > 0xFFFF && w <= 0x10FFFF) {
            // A supplementary character is a surrogate pair on the parser's side.
            if (text[0] != static_cast<XMLCh>(0xD800 + ((w - 0x10000) >> 10)) ||
                text[1] != static_cast<XMLCh>(0xDC00 + (w & 0x3FF))) {
                return false;
            }
            ++text;
            continue;
        }
        if (static_cast<uint32_t>(*text) != w) return false;
        if (w == 0) return true;
    }
}

std::string Narrow(const wchar_t* s) {
    return s == nullptr ? std::string() : zavToolsLib::ToUtf8(std::wstring_view(s));
}

void ThrowNull(const char* cls, const char* op, const wchar_t* message) {
    throw CCmlException(Context(cls, op), message, CML_E_NULL_NODE);
}

void ThrowWrongType(const char* cls, const char* op) {
    throw CCmlException(Context(cls, op), L"Wrong source node type", CML_E_WRONG_NODE_TYPE);
}

void ThrowNotSupported(const char* cls, const char* op) {
    throw CCmlException(Context(cls, op), L"Operation not supported by the XML parser library",
                        zavToolsLib::ZAV_E_NOT_SUPPORTED);
}

void ThrowNullArgument(const char* cls, const char* op) {
    throw CCmlException(Context(cls, op), L"Received value is NULL",
                        zavToolsLib::ZAV_E_INVALID_ARG);
}

}  // namespace dom_detail

}  // namespace zav::cml
