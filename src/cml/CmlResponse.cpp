#include "cml/CmlResponse.h"

#include <xercesc/dom/DOMException.hpp>

#include <cerrno>
#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <utility>

#include "cml/CmlDOM_Element.h"
#include "cml/CmlDOM_Exception.h"
#include "cml/CmlException.h"
#include "cml/CmlTagNames.h"
#include "cml/CmlWriter.h"

namespace zav::cml {

namespace {

// The code as a 32-bit strtoul reads it, whatever the width of long here: a value above 32 bits
// gives 0xFFFFFFFF, a negative one is taken modulo 2^32; no number at all gives 0.
uint32_t ReadCode(const wchar_t* code) {
    if (code == nullptr) {
        return 0;
    }
    const wchar_t* sign = code;
    while (std::iswspace(*sign)) {
        ++sign;
    }
    wchar_t* end = nullptr;
    errno = 0;
    const unsigned long long value = std::wcstoull(code, &end, 0);
    if (end == code) {
        return 0;
    }
    const bool negative = *sign == L'-';
    const unsigned long long magnitude = negative ? 0ull - value : value;
    if (errno == ERANGE || magnitude > UINT32_MAX) {
        return UINT32_MAX;
    }
    const uint32_t low = static_cast<uint32_t>(magnitude);
    return negative ? 0u - low : low;
}

}  // namespace

CCmlResponse::CCmlResponse(std::wstring tagName, std::wstring namespaceURI,
                           std::wstring schemaVersion)
    : CMessageBase(std::move(tagName), std::move(namespaceURI), std::move(schemaVersion)) {}

CCmlResponse::~CCmlResponse() = default;

CCmlDocumentBase* CCmlResponse::Clone() const { return new CCmlResponse(*this); }

void CCmlResponse::Assign(const CCmlResponse& other) {
    if (&other == this) return;
    CMessageBase::Assign(other);
    SetCode(other.GetCode());
    SetText(other.GetText());
}

void CCmlResponse::Deserialize(const CCmlDOM_Element& element) {
    CMessageBase::Deserialize(element);
    try {
        SetCode(ReadCode(element.getAttribute(CML_TAG_CODE)));
        const wchar_t* text = element.getAttribute(CML_TAG_TEXT);
        SetText(text != nullptr ? text : L"");
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(L"Parsing response element");
    }
}

template <class Stream>
void CCmlResponse::WriteAttributes(Stream& os) const {
    CMessageBase::SerializeAttributes(os);
    if (GetCode() != 0 || GetSerializeDefaults()) {
        // Formatted apart from the stream, so its number format stays as it was.
        WriteAttribute(os, CML_TAG_CODE, CCmlException::FormatCode(GetCode()));
    }
    if (!GetText().empty()) WriteEscapedAttribute(os, CML_TAG_TEXT, GetText());
}

void CCmlResponse::SerializeAttributes(std::wostream& os) const { WriteAttributes(os); }
void CCmlResponse::SerializeAttributes(std::ostream& os) const { WriteAttributes(os); }

}  // namespace zav::cml
