#include "cml/CmlMessageBase.h"

#include <xercesc/dom/DOMException.hpp>

#include <utility>

#include "cml/CmlDOM_Element.h"
#include "cml/CmlDOM_Exception.h"
#include "cml/CmlException.h"
#include "cml/CmlTagNames.h"
#include "cml/CmlWriter.h"

namespace zav::cml {

CMessageBase::CMessageBase(std::wstring tagName, std::wstring namespaceURI,
                           std::wstring schemaVersion)
    : CCmlDocumentBase(std::move(tagName), std::move(namespaceURI), schemaVersion),
      m_strDocumentSchemaVersion(std::move(schemaVersion)) {}

CMessageBase::~CMessageBase() = default;

CCmlDocumentBase* CMessageBase::Clone() const { return new CMessageBase(*this); }

void CMessageBase::Assign(const CMessageBase& other) {
    if (&other == this) return;
    CCmlDocumentBase::Assign(other);
    SetDocumentSchemaVersion(other.GetDocumentSchemaVersion());
    SetRequestId(other.GetRequestId());
}

const std::wstring& CMessageBase::GetText() const {
    static const std::wstring empty;
    return empty;
}

void CMessageBase::Deserialize(const CCmlDOM_Element& element) {
    if (element.IsNull()) {
        throw CCmlException(L"Deserializing message", L"Null element received", CML_E_NULL_ELEMENT);
    }
    try {
        CCmlDocumentBase::Deserialize(element);
        const wchar_t* requestId = element.getAttribute(CML_TAG_REQUEST_ID);
        SetRequestId(requestId != nullptr ? requestId : L"");
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(L"Deserializing CML message");
    }
}

void CMessageBase::SerializeAttributes(std::wostream& os) const {
    CCmlDocumentBase::SerializeAttributes(os);
    WriteAttribute(os, CML_TAG_REQUEST_ID, GetRequestId());
}

void CMessageBase::SerializeAttributes(std::ostream& os) const {
    CCmlDocumentBase::SerializeAttributes(os);
    WriteAttribute(os, CML_TAG_REQUEST_ID, GetRequestId());
}

}  // namespace zav::cml
