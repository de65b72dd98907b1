#include "cml/EventQueryMessages/GetObservancesByGroupRequest.h"

#include <xercesc/dom/DOMException.hpp>

#include <utility>

#include "cml/CmlDOM_Element.h"
#include "cml/CmlDOM_Exception.h"
#include "cml/CmlException.h"
#include "cml/CmlTagNames.h"

namespace zav::cml {

CGetObservancesByGroupRequest::CGetObservancesByGroupRequest(const std::wstring& requestId)
    : CGetObservancesRequest(CML_TAG_GET_OBSERVANCES_BY_GROUP_REQUEST, requestId) {}

CGetObservancesByGroupRequest::~CGetObservancesByGroupRequest() = default;

CCmlDocumentBase* CGetObservancesByGroupRequest::Clone() const {
    return new CGetObservancesByGroupRequest(*this);
}

void CGetObservancesByGroupRequest::Assign(const CGetObservancesByGroupRequest& other) {
    if (&other == this) return;
    CGetObservancesRequest::Assign(other);
    m_groupId = other.m_groupId;
}

void CGetObservancesByGroupRequest::Deserialize(const CCmlDOM_Element& element) {
    if (element.IsNull()) {
        throw CCmlException(L"Deserializing 'get-observances-by-group-request' node",
                            L"Null element received", CML_E_NULL_ELEMENT);
    }
    CGetObservancesRequest::Deserialize(element);
    try {
        m_groupId.Read(element);
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(
            L"Parsing 'get-observances-by-group-request' element");
    }
}

template <class Stream>
void CGetObservancesByGroupRequest::WriteAttributes(Stream& os) const {
    CGetObservancesRequest::SerializeAttributes(os);
    m_groupId.Write(os);
}

void CGetObservancesByGroupRequest::SerializeAttributes(std::wostream& os) const {
    WriteAttributes(os);
}
void CGetObservancesByGroupRequest::SerializeAttributes(std::ostream& os) const {
    WriteAttributes(os);
}

}  // namespace zav::cml
