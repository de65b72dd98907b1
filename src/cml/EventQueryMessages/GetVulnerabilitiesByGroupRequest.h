// CGetVulnerabilitiesByGroupRequest: vulnerabilities of the members of a group, named by the
// group-id attribute of the request element.
#pragma once

#include <ostream>
#include <string>

#include "cml/EventQueryMessages/GetVulnerabilitiesRequest.h"
#include "cml/EventQueryMessages/GroupId.h"

namespace zav::cml {

class CGetVulnerabilitiesByGroupRequest : public CGetVulnerabilitiesRequest {
public:
    explicit CGetVulnerabilitiesByGroupRequest(const std::wstring& requestId = std::wstring());
    CGetVulnerabilitiesByGroupRequest(const CGetVulnerabilitiesByGroupRequest&) = default;
    CGetVulnerabilitiesByGroupRequest& operator=(const CGetVulnerabilitiesByGroupRequest&) =
        default;

    using CGetVulnerabilitiesRequest::Assign;
    ~CGetVulnerabilitiesByGroupRequest() override;
    CCmlDocumentBase* Clone() const override;
    // The vulnerability request part, then the element's own group-id.
    void Deserialize(const CCmlDOM_Element& element) override;
    // The common attributes, then group-id when not empty.
    void SerializeAttributes(std::wostream& os) const override;
    void SerializeAttributes(std::ostream& os) const override;

    virtual void Assign(const CGetVulnerabilitiesByGroupRequest& other);
    virtual const std::wstring& GetGroupId() const { return m_groupId.Get(); }
    virtual void SetGroupId(const wchar_t* groupId) { m_groupId.Set(groupId); }

    void SetGroupId(const std::wstring& groupId) { SetGroupId(groupId.c_str()); }

private:
    template <class Stream>
    void WriteAttributes(Stream& os) const;

    EventQueryMessages::CGroupId m_groupId;
};

}  // namespace zav::cml
