#include "cml/EventQueryMessages/GetVulnerabilitiesResponse.h"

#include <xercesc/dom/DOMException.hpp>

#include <new>
#include <utility>

#include "cml/CmlDOM_Exception.h"
#include "cml/CmlException.h"
#include "cml/CmlTagNames.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml {

CGetVulnerabilitiesResponse::CGetVulnerabilitiesResponse(const std::wstring& requestId)
    : CEventQueryResponse(CML_TAG_GET_VULNERABILITIES_RESPONSE, CML_TAG_VULNERABILITY_ITEM) {
    SetRequestId(requestId);
}

CGetVulnerabilitiesResponse::~CGetVulnerabilitiesResponse() = default;

CCmlDocumentBase* CGetVulnerabilitiesResponse::Clone() const {
    try {
        return new CGetVulnerabilitiesResponse(*this);
    } catch (const std::bad_alloc&) {
        throw CCmlException(L"Cloning get-vulnerabilities-response object", L"Insufficient memory",
                            zavToolsLib::ZAV_E_BUFFER_FULL);
    }
}

void CGetVulnerabilitiesResponse::Assign(const CGetVulnerabilitiesResponse& other) {
    CEventQueryResponse::Assign(other);
}

void CGetVulnerabilitiesResponse::Deserialize(const CCmlDOM_Element& element) {
    try {
        CEventQueryResponse::Deserialize(element);
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(L"Parsing get-vulnerabilities-response element");
    }
}

}  // namespace zav::cml
