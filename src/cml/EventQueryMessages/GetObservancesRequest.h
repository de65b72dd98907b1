// CGetObservancesRequest: the part both observance queries share. analysis-type says from which
// viewpoints observances are wanted, observance-type which type ids are listed and whether they
// are excluded. A new request asks for source and target analysis and excludes types 2 and 8.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "cml/EventQueryMessages/EventQueryRequest.h"

namespace zav::cml {

inline constexpr wchar_t DEFAULT_OBSERVANCE_TYPE_ID_LIST[] = L"2,8";

class CGetObservancesRequest : public CEventQueryRequest {
public:
    CGetObservancesRequest(const CGetObservancesRequest&) = default;
    CGetObservancesRequest& operator=(const CGetObservancesRequest&) = default;

    using CEventQueryRequest::Assign;
    ~CGetObservancesRequest() override;
    CCmlDocumentBase* Clone() const override;
    // The common children plus analysis-type and observance-type.
    uint32_t GetChildElementCount() const override;
    // The common part, then every analysis-type and observance-type child. Source and target
    // analysis and exclude turn off only for the text "false"; sensor analysis turns on only for
    // "true". Absent attributes leave the flags as they are.
    void Deserialize(const CCmlDOM_Element& element) override;
    int SerializeContent(std::wostream& os, uint32_t level) const override;
    int SerializeContent(std::ostream& os, uint32_t level) const override;

    virtual void Assign(const CGetObservancesRequest& other);
    virtual bool GetSourceAnalysis() const { return m_bSourceAnalysis; }
    virtual bool GetTargetAnalysis() const { return m_bTargetAnalysis; }
    virtual bool GetSensorAnalysis() const { return m_bSensorAnalysis; }
    // Comma-separated observance type ids, carried unparsed.
    virtual const std::wstring& GetTypeIdList() const { return m_strTypeIdList; }
    virtual bool GetExclude() const { return m_bExclude; }
    virtual void SetSourceAnalysis(bool on) { m_bSourceAnalysis = on; }
    virtual void SetTargetAnalysis(bool on) { m_bTargetAnalysis = on; }
    virtual void SetSensorAnalysis(bool on) { m_bSensorAnalysis = on; }
    virtual void SetTypeIdList(const wchar_t* typeIdList);
    virtual void SetExclude(bool exclude) { m_bExclude = exclude; }

    void SetTypeIdList(const std::wstring& typeIdList) { SetTypeIdList(typeIdList.c_str()); }

protected:
    CGetObservancesRequest(std::wstring tagName, const std::wstring& requestId);

private:
    template <class Stream>
    int WriteContent(Stream& os, uint32_t level) const;

    bool m_bSourceAnalysis = true;
    bool m_bTargetAnalysis = true;
    bool m_bSensorAnalysis = false;
    std::wstring m_strTypeIdList = DEFAULT_OBSERVANCE_TYPE_ID_LIST;
    bool m_bExclude = true;
};

}  // namespace zav::cml
