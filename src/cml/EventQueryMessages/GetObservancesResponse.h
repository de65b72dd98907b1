// CGetObservancesResponse: the answer to an observance query; one observance-item per
// observance found.
#pragma once

#include <string>

#include "cml/EventQueryMessages/EventQueryResponse.h"

namespace zav::cml {

class CGetObservancesResponse : public CEventQueryResponse {
public:
    explicit CGetObservancesResponse(const std::wstring& requestId = std::wstring());
    CGetObservancesResponse(const CGetObservancesResponse&) = default;
    CGetObservancesResponse& operator=(const CGetObservancesResponse&) = default;

    using CEventQueryResponse::Assign;
    ~CGetObservancesResponse() override;
    // Raises "Cloning get-vulnerabilities-response object" / "Insufficient memory".
    CCmlDocumentBase* Clone() const override;
    void Deserialize(const CCmlDOM_Element& element) override;

    virtual void Assign(const CGetObservancesResponse& other);
};

}  // namespace zav::cml
