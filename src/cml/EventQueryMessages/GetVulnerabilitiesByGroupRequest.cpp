#include "cml/EventQueryMessages/GetVulnerabilitiesByGroupRequest.h"

#include <xercesc/dom/DOMException.hpp>

#include <utility>

#include "cml/CmlDOM_Element.h"
#include "cml/CmlDOM_Exception.h"
#include "cml/CmlException.h"
#include "cml/CmlTagNames.h"

namespace zav::cml {

CGetVulnerabilitiesByGroupRequest::CGetVulnerabilitiesByGroupRequest(const std::wstring& requestId)
    : CGetVulnerabilitiesRequest(CML_TAG_GET_VULNERABILITIES_BY_GROUP_REQUEST, requestId) {}

CGetVulnerabilitiesByGroupRequest::~CGetVulnerabilitiesByGroupRequest() = default;

CCmlDocumentBase* CGetVulnerabilitiesByGroupRequest::Clone() const {
    return new CGetVulnerabilitiesByGroupRequest(*this);
}

void CGetVulnerabilitiesByGroupRequest::Assign(const CGetVulnerabilitiesByGroupRequest& other) {
    if (&other == this) return;
    CGetVulnerabilitiesRequest::Assign(other);
    m_groupId = other.m_groupId;
}

void CGetVulnerabilitiesByGroupRequest::Deserialize(const CCmlDOM_Element& element) {
    if (element.IsNull()) {
        throw CCmlException(L"Deserializing 'get-vulnerabilities-by-group-request' node",
                            L"Null element received", CML_E_NULL_ELEMENT);
    }
    CGetVulnerabilitiesRequest::Deserialize(element);
    try {
        m_groupId.Read(element);
    } catch (const xercesc::DOMException& e) {
        // The capital V is the established wording of this message.
        throw CCmlDOM_Exception(e).ToCmlException(
            L"Parsing 'get-Vulnerabilities-by-group-request' element");
    }
}

template <class Stream>
void CGetVulnerabilitiesByGroupRequest::WriteAttributes(Stream& os) const {
    CGetVulnerabilitiesRequest::SerializeAttributes(os);
    m_groupId.Write(os);
}

void CGetVulnerabilitiesByGroupRequest::SerializeAttributes(std::wostream& os) const {
    WriteAttributes(os);
}
void CGetVulnerabilitiesByGroupRequest::SerializeAttributes(std::ostream& os) const {
    WriteAttributes(os);
}

}  // namespace zav::cml
