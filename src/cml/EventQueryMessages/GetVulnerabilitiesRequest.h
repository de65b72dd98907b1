// CGetVulnerabilitiesRequest: the part both vulnerability queries share, the vuln-type child that
// says whether fixed vulnerabilities are wanted.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "cml/EventQueryMessages/EventQueryRequest.h"

namespace zav::cml {

class CGetVulnerabilitiesRequest : public CEventQueryRequest {
public:
    CGetVulnerabilitiesRequest(const CGetVulnerabilitiesRequest&) = default;
    CGetVulnerabilitiesRequest& operator=(const CGetVulnerabilitiesRequest&) = default;

    using CEventQueryRequest::Assign;
    ~CGetVulnerabilitiesRequest() override;
    CCmlDocumentBase* Clone() const override;
    // The common children plus vuln-type.
    uint32_t GetChildElementCount() const override;
    // The common part, then every vuln-type child: fixed is true exactly for the text "true".
    void Deserialize(const CCmlDOM_Element& element) override;
    // The common children, then vuln-type.
    int SerializeContent(std::wostream& os, uint32_t level) const override;
    int SerializeContent(std::ostream& os, uint32_t level) const override;

    virtual void Assign(const CGetVulnerabilitiesRequest& other);
    virtual bool GetFixed() const { return m_bFixed; }
    virtual void SetFixed(bool fixed) { m_bFixed = fixed; }

protected:
    CGetVulnerabilitiesRequest(std::wstring tagName, const std::wstring& requestId);

private:
    template <class Stream>
    int WriteContent(Stream& os, uint32_t level) const;

    bool m_bFixed = false;
};

}  // namespace zav::cml
