#include "cml/EventQueryMessages/GetVulnerabilitiesByAddressRequest.h"

#include <xercesc/dom/DOMException.hpp>

#include <utility>

#include "cml/CmlDOM_Element.h"
#include "cml/CmlDOM_Exception.h"
#include "cml/CmlException.h"
#include "cml/CmlTagNames.h"
#include "cml/EventQueryMessages/EventQueryMessages.h"

namespace zav::cml {

using EventQueryMessages::Attribute;
using EventQueryMessages::ForEachChild;
using EventQueryMessages::Text;
using EventQueryMessages::WriteAddressRange;

CGetVulnerabilitiesByAddressRequest::CGetVulnerabilitiesByAddressRequest(std::wstring requestId)
    : CGetVulnerabilitiesRequest(CML_TAG_GET_VULNERABILITIES_BY_ADDRESS_REQUEST,
                                 std::move(requestId)) {}

CGetVulnerabilitiesByAddressRequest::~CGetVulnerabilitiesByAddressRequest() = default;

CCmlDocumentBase* CGetVulnerabilitiesByAddressRequest::Clone() const {
    return new CGetVulnerabilitiesByAddressRequest(*this);
}

void CGetVulnerabilitiesByAddressRequest::Assign(const CGetVulnerabilitiesByAddressRequest& other) {
    if (&other == this) return;
    CGetVulnerabilitiesRequest::Assign(other);
    SetStartAddress(other.GetStartAddress());
    SetEndAddress(other.GetEndAddress());
    SetAddressType(other.GetAddressType());
}

void CGetVulnerabilitiesByAddressRequest::SetStartAddress(const wchar_t* address) {
    m_strStartAddress = Text(address);
}
void CGetVulnerabilitiesByAddressRequest::SetEndAddress(const wchar_t* address) {
    m_strEndAddress = Text(address);
}
void CGetVulnerabilitiesByAddressRequest::SetAddressType(const wchar_t* addressType) {
    m_strAddressType = Text(addressType);
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
        ForEachChild(element, CML_TAG_ADDRESS_RANGE, [this](const CCmlDOM_Element& range) {
            SetStartAddress(Attribute(range, CML_TAG_START_ADDRESS));
            SetEndAddress(Attribute(range, CML_TAG_END_ADDRESS));
            SetAddressType(Attribute(range, CML_TAG_ADDRESS_TYPE));
        });
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(
            L"Parsing 'get-vulnerabilities-by-address-request' element");
    }
}

template <class Stream>
int CGetVulnerabilitiesByAddressRequest::WriteContent(Stream& os, uint32_t level) const {
    const int written = CGetVulnerabilitiesRequest::SerializeContent(os, level);
    WriteAddressRange(os, level, GetStartAddress(), GetEndAddress(), GetAddressType());
    return written + 1;
}

int CGetVulnerabilitiesByAddressRequest::SerializeContent(std::wostream& os, uint32_t level) const {
    return WriteContent(os, level);
}
int CGetVulnerabilitiesByAddressRequest::SerializeContent(std::ostream& os, uint32_t level) const {
    return WriteContent(os, level);
}

}  // namespace zav::cml
