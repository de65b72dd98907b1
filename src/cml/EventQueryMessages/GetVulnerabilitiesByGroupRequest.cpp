#include "cml/EventQueryMessages/GetVulnerabilitiesByGroupRequest.h"

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
using EventQueryMessages::Text;

CGetVulnerabilitiesByGroupRequest::CGetVulnerabilitiesByGroupRequest(std::wstring requestId)
    : CGetVulnerabilitiesRequest(CML_TAG_GET_VULNERABILITIES_BY_GROUP_REQUEST,
                                 std::move(requestId)) {}

CGetVulnerabilitiesByGroupRequest::~CGetVulnerabilitiesByGroupRequest() = default;

CCmlDocumentBase* CGetVulnerabilitiesByGroupRequest::Clone() const {
    return new CGetVulnerabilitiesByGroupRequest(*this);
}

void CGetVulnerabilitiesByGroupRequest::Assign(const CGetVulnerabilitiesByGroupRequest& other) {
    if (&other == this) return;
    CGetVulnerabilitiesRequest::Assign(other);
    SetGroupId(other.GetGroupId());
}

void CGetVulnerabilitiesByGroupRequest::SetGroupId(const wchar_t* groupId) {
    m_strGroupId = Text(groupId);
}

void CGetVulnerabilitiesByGroupRequest::Deserialize(const CCmlDOM_Element& element) {
    if (element.IsNull()) {
        throw CCmlException(L"Deserializing 'get-vulnerabilities-by-group-request' node",
                            L"Null element received", CML_E_NULL_ELEMENT);
    }
    CGetVulnerabilitiesRequest::Deserialize(element);
    try {
        SetGroupId(Attribute(element, CML_TAG_GROUP_ID));
    } catch (const xercesc::DOMException& e) {
        // The capital V is the established wording of this message.
        throw CCmlDOM_Exception(e).ToCmlException(
            L"Parsing 'get-Vulnerabilities-by-group-request' element");
    }
}

template <class Stream>
void CGetVulnerabilitiesByGroupRequest::WriteAttributes(Stream& os) const {
    CGetVulnerabilitiesRequest::SerializeAttributes(os);
    if (!GetGroupId().empty()) WriteEscapedAttribute(os, CML_TAG_GROUP_ID, GetGroupId());
}

void CGetVulnerabilitiesByGroupRequest::SerializeAttributes(std::wostream& os) const {
    WriteAttributes(os);
}
void CGetVulnerabilitiesByGroupRequest::SerializeAttributes(std::ostream& os) const {
    WriteAttributes(os);
}

}  // namespace zav::cml
