#include "cml/CmlResponse.h"

#include <xercesc/dom/DOMException.hpp>

#include <cwchar>
#include <utility>

#include "cml/CmlDOM_Element.h"
#include "cml/CmlDOM_Exception.h"
#include "cml/CmlException.h"
#include "cml/CmlTagNames.h"
#include "cml/CmlWriter.h"

namespace zav::cml {

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
        const wchar_t* code = element.getAttribute(CML_TAG_CODE);
        wchar_t* end = nullptr;
        const unsigned long value = code != nullptr ? std::wcstoul(code, &end, 0) : 0;
        SetCode(end != code ? static_cast<uint32_t>(value) : 0);
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
