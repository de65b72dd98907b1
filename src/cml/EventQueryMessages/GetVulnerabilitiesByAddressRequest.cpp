#include "cml/EventQueryMessages/GetVulnerabilitiesByAddressRequest.h"

#include <xercesc/dom/DOMException.hpp>

#include <utility>

#include "cml/CmlDOM_Element.h"
#include "cml/CmlDOM_Exception.h"
#include "cml/CmlException.h"
#include "cml/CmlTagNames.h"

namespace zav::cml {

CGetVulnerabilitiesByAddressRequest::CGetVulnerabilitiesByAddressRequest(
    const std::wstring& requestId)
    : CGetVulnerabilitiesRequest(CML_TAG_GET_VULNERABILITIES_BY_ADDRESS_REQUEST, requestId) {}

CGetVulnerabilitiesByAddressRequest::~CGetVulnerabilitiesByAddressRequest() = default;

CCmlDocumentBase* CGetVulnerabilitiesByAddressRequest::Clone() const {
    return new CGetVulnerabilitiesByAddressRequest(*this);
}

void CGetVulnerabilitiesByAddressRequest::Assign(const CGetVulnerabilitiesByAddressRequest& other) {
    if (&other == this) return;
    CGetVulnerabilitiesRequest::Assign(other);
    m_range = other.m_range;
}

uint32_t CGetVulnerabilitiesByAddressRequest::GetChildElementCount() const {
    return CGetVulnerabilitiesRequest::GetChildElementCount() + 1;
}

void CGetVulnerabilitiesByAddressRequest::Deserialize(const CCmlDOM_Element& element) {
    if (element.IsNull()) {
        throw CCmlException(L"Deserializing 'get-vulnerabilities-by-address-request' node",
                            L"Null element received", CML_E_NULL_ELEMENT);
    }
    CGetVulnerabilitiesRequest::Deserialize(element);
    try {
        m_range.Read(element);
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(
            L"Parsing 'get-vulnerabilities-by-address-request' element");
    }
}

template <class Stream>
int CGetVulnerabilitiesByAddressRequest::WriteContent(Stream& os, uint32_t level) const {
    const int written = CGetVulnerabilitiesRequest::SerializeContent(os, level);
    m_range.Write(os, level);
    return written + 1;
}

int CGetVulnerabilitiesByAddressRequest::SerializeContent(std::wostream& os, uint32_t level) const {
    return WriteContent(os, level);
}
int CGetVulnerabilitiesByAddressRequest::SerializeContent(std::ostream& os, uint32_t level) const {
    return WriteContent(os, level);
}

}  // namespace zav::cml
