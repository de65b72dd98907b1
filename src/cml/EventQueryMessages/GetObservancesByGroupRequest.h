// CGetObservancesByGroupRequest: observances of the members of a group, named by the
// group-id attribute of the request element.
#pragma once

#include <ostream>
#include <string>

#include "cml/EventQueryMessages/GetObservancesRequest.h"
#include "cml/EventQueryMessages/GroupId.h"

namespace zav::cml {

class CGetObservancesByGroupRequest : public CGetObservancesRequest {
public:
    explicit CGetObservancesByGroupRequest(const std::wstring& requestId = std::wstring());
    CGetObservancesByGroupRequest(const CGetObservancesByGroupRequest&) = default;
    CGetObservancesByGroupRequest& operator=(const CGetObservancesByGroupRequest&) = default;

    using CGetObservancesRequest::Assign;
    ~CGetObservancesByGroupRequest() override;
    CCmlDocumentBase* Clone() const override;
    // The observance request part, then the element's own group-id.
    void Deserialize(const CCmlDOM_Element& element) override;
    // The common attributes, then group-id when not empty.
    void SerializeAttributes(std::wostream& os) const override;
    void SerializeAttributes(std::ostream& os) const override;

    virtual void Assign(const CGetObservancesByGroupRequest& other);
    virtual const std::wstring& GetGroupId() const { return m_groupId.Get(); }
    virtual void SetGroupId(const wchar_t* groupId) { m_groupId.Set(groupId); }

    void SetGroupId(const std::wstring& groupId) { SetGroupId(groupId.c_str()); }

private:
    template <class Stream>
    void WriteAttributes(Stream& os) const;

    EventQueryMessages::CGroupId m_groupId;
};

}  // namespace zav::cml
