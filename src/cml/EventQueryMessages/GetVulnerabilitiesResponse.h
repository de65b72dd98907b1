// CGetVulnerabilitiesResponse: the answer to a vulnerability query; one vulnerability-item per
// vulnerability found.
#pragma once

#include <string>

#include "cml/EventQueryMessages/EventQueryResponse.h"

namespace zav::cml {

class CGetVulnerabilitiesResponse : public CEventQueryResponse {
public:
    explicit CGetVulnerabilitiesResponse(const std::wstring& requestId = std::wstring());
    CGetVulnerabilitiesResponse(const CGetVulnerabilitiesResponse&) = default;
    CGetVulnerabilitiesResponse& operator=(const CGetVulnerabilitiesResponse&) = default;

    using CEventQueryResponse::Assign;
    ~CGetVulnerabilitiesResponse() override;
    // Raises "Cloning get-vulnerabilities-response object" / "Insufficient memory".
    CCmlDocumentBase* Clone() const override;
    void Deserialize(const CCmlDOM_Element& element) override;

    virtual void Assign(const CGetVulnerabilitiesResponse& other);
};

}  // namespace zav::cml
