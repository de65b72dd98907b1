#include "cml/EventQueryMessages/GetObservancesByAddressRequest.h"

#include <xercesc/dom/DOMException.hpp>

#include <utility>

#include "cml/CmlDOM_Element.h"
#include "cml/CmlDOM_Exception.h"
#include "cml/CmlException.h"
#include "cml/CmlTagNames.h"

namespace zav::cml {

CGetObservancesByAddressRequest::CGetObservancesByAddressRequest(const std::wstring& requestId)
    : CGetObservancesRequest(CML_TAG_GET_OBSERVANCES_BY_ADDRESS_REQUEST, requestId) {}

CGetObservancesByAddressRequest::~CGetObservancesByAddressRequest() = default;

CCmlDocumentBase* CGetObservancesByAddressRequest::Clone() const {
    return new CGetObservancesByAddressRequest(*this);
}

void CGetObservancesByAddressRequest::Assign(const CGetObservancesByAddressRequest& other) {
    if (&other == this) return;
    CGetObservancesRequest::Assign(other);
    m_range = other.m_range;
}

uint32_t CGetObservancesByAddressRequest::GetChildElementCount() const {
    return CGetObservancesRequest::GetChildElementCount() + 1;
}

void CGetObservancesByAddressRequest::Deserialize(const CCmlDOM_Element& element) {
    if (element.IsNull()) {
        throw CCmlException(L"Deserializing 'get-observances-by-address-request' node",
                            L"Null element received", CML_E_NULL_ELEMENT);
    }
    CGetObservancesRequest::Deserialize(element);
    try {
        m_range.Read(element);
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(
            L"Parsing 'get-observances-by-address-request' element");
    }
}

template <class Stream>
int CGetObservancesByAddressRequest::WriteContent(Stream& os, uint32_t level) const {
    const int written = CGetObservancesRequest::SerializeContent(os, level);
    m_range.Write(os, level);
    return written + 1;
}

int CGetObservancesByAddressRequest::SerializeContent(std::wostream& os, uint32_t level) const {
    return WriteContent(os, level);
}
int CGetObservancesByAddressRequest::SerializeContent(std::ostream& os, uint32_t level) const {
    return WriteContent(os, level);
}

}  // namespace zav::cml
