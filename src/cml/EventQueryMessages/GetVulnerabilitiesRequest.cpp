#include "cml/EventQueryMessages/GetVulnerabilitiesRequest.h"

#include <xercesc/dom/DOMException.hpp>

#include <utility>

#include "cml/CmlDOM_Element.h"
#include "cml/CmlDOM_Exception.h"
#include "cml/CmlException.h"
#include "cml/CmlTagNames.h"
#include "cml/CmlWriter.h"
#include "cml/EventQueryMessages/EventQueryMessages.h"

namespace zav::cml {

using EventQueryMessages::Attribute;
using EventQueryMessages::FlagText;
using EventQueryMessages::ForEachChild;

CGetVulnerabilitiesRequest::CGetVulnerabilitiesRequest(std::wstring tagName,
                                                       const std::wstring& requestId)
    : CEventQueryRequest(std::move(tagName), requestId) {}

CGetVulnerabilitiesRequest::~CGetVulnerabilitiesRequest() = default;

CCmlDocumentBase* CGetVulnerabilitiesRequest::Clone() const {
    return new CGetVulnerabilitiesRequest(*this);
}

void CGetVulnerabilitiesRequest::Assign(const CGetVulnerabilitiesRequest& other) {
    if (&other == this) return;
    CEventQueryRequest::Assign(other);
    SetFixed(other.GetFixed());
}

uint32_t CGetVulnerabilitiesRequest::GetChildElementCount() const {
    return CEventQueryRequest::GetChildElementCount() + 1;
}

void CGetVulnerabilitiesRequest::Deserialize(const CCmlDOM_Element& element) {
    if (element.IsNull()) {
        throw CCmlException(L"Deserializing EventQueryMessages vulnerabilities request node",
                            L"Null element received", CML_E_NULL_ELEMENT);
    }
    CEventQueryRequest::Deserialize(element);
    try {
        ForEachChild(element, CML_TAG_VULN_TYPE, [this](const CCmlDOM_Element& type) {
            if (type.hasAttribute(CML_TAG_FIXED)) {
                SetFixed(Attribute(type, CML_TAG_FIXED) == CML_TAG_TRUE);
            }
        });
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(
            L"Parsing EventQueryMessages vulnerabilities request element");
    }
}

template <class Stream>
int CGetVulnerabilitiesRequest::WriteContent(Stream& os, uint32_t level) const {
    const int written = CEventQueryRequest::SerializeContent(os, level);
    WriteStartTagOpen(os, level, CML_TAG_VULN_TYPE);
    WriteAttribute(os, CML_TAG_FIXED, FlagText(GetFixed()));
    WriteText(os, L"/>");
    WriteLineEnd(os);
    return written + 1;
}

int CGetVulnerabilitiesRequest::SerializeContent(std::wostream& os, uint32_t level) const {
    return WriteContent(os, level);
}
int CGetVulnerabilitiesRequest::SerializeContent(std::ostream& os, uint32_t level) const {
    return WriteContent(os, level);
}

}  // namespace zav::cml
