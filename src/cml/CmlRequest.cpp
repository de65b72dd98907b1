#include "cml/CmlRequest.h"

#include <xercesc/dom/DOMException.hpp>

#include <utility>

#include "cml/CmlDOM_Element.h"
#include "cml/CmlDOM_Exception.h"
#include "cml/CmlTagNames.h"
#include "cml/CmlWriter.h"

namespace zav::cml {

CCmlRequest::CCmlRequest(std::wstring tagName, std::wstring namespaceURI,
                         std::wstring schemaVersion, bool needReply)
    : CMessageBase(std::move(tagName), std::move(namespaceURI), std::move(schemaVersion)),
      m_bNeedReply(needReply) {}

CCmlRequest::~CCmlRequest() = default;

CCmlDocumentBase* CCmlRequest::Clone() const { return new CCmlRequest(*this); }

void CCmlRequest::Assign(const CCmlRequest& other) {
    if (&other == this) return;
    CMessageBase::Assign(other);
    SetNeedReply(other.GetNeedReply());
}

void CCmlRequest::Deserialize(const CCmlDOM_Element& element) {
    CMessageBase::Deserialize(element);
    try {
        const wchar_t* needReply = element.getAttribute(CML_TAG_NEED_REPLY);
        SetNeedReply(needReply == nullptr || std::wstring(needReply) != CML_TAG_FALSE);
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(L"Parsing request element");
    }
}

template <class Stream>
void CCmlRequest::WriteAttributes(Stream& os) const {
    CMessageBase::SerializeAttributes(os);
    if (!GetNeedReply()) {
        WriteAttribute(os, CML_TAG_NEED_REPLY, CML_TAG_FALSE);
    } else if (GetSerializeDefaults()) {
        WriteAttribute(os, CML_TAG_NEED_REPLY, CML_TAG_TRUE);
    }
}

void CCmlRequest::SerializeAttributes(std::wostream& os) const { WriteAttributes(os); }
void CCmlRequest::SerializeAttributes(std::ostream& os) const { WriteAttributes(os); }

}  // namespace zav::cml
