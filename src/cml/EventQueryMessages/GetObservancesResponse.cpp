#include "cml/EventQueryMessages/GetObservancesResponse.h"

#include <xercesc/dom/DOMException.hpp>

#include <new>
#include <utility>

#include "cml/CmlDOM_Exception.h"
#include "cml/CmlException.h"
#include "cml/CmlTagNames.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml {

CGetObservancesResponse::CGetObservancesResponse(const std::wstring& requestId)
    : CEventQueryResponse(CML_TAG_GET_OBSERVANCES_RESPONSE, CML_TAG_OBSERVANCE_ITEM) {
    SetRequestId(requestId);
}

CGetObservancesResponse::~CGetObservancesResponse() = default;

CCmlDocumentBase* CGetObservancesResponse::Clone() const {
    try {
        return new CGetObservancesResponse(*this);
    } catch (const std::bad_alloc&) {
        throw CCmlException(L"Cloning get-observances-response object", L"Insufficient memory",
                            zavToolsLib::ZAV_E_BUFFER_FULL);
    }
}

void CGetObservancesResponse::Assign(const CGetObservancesResponse& other) {
    CEventQueryResponse::Assign(other);
}

void CGetObservancesResponse::Deserialize(const CCmlDOM_Element& element) {
    try {
        CEventQueryResponse::Deserialize(element);
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(L"Parsing get-observances-response element");
    }
}

}  // namespace zav::cml
