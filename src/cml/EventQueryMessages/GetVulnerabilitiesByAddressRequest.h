// CGetVulnerabilitiesByAddressRequest: vulnerabilities of a range of addresses, given as the
// address-range child (addresses and address type carried as text, not checked here).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "cml/EventQueryMessages/AddressRange.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesRequest.h"

namespace zav::cml {

class CGetVulnerabilitiesByAddressRequest : public CGetVulnerabilitiesRequest {
public:
    explicit CGetVulnerabilitiesByAddressRequest(const std::wstring& requestId = std::wstring());
    CGetVulnerabilitiesByAddressRequest(const CGetVulnerabilitiesByAddressRequest&) = default;
    CGetVulnerabilitiesByAddressRequest& operator=(const CGetVulnerabilitiesByAddressRequest&) =
        default;

    using CGetVulnerabilitiesRequest::Assign;
    ~CGetVulnerabilitiesByAddressRequest() override;
    CCmlDocumentBase* Clone() const override;
    // The vulnerability request's children plus address-range.
    uint32_t GetChildElementCount() const override;
    // The vulnerability request part, then every address-range child (the last one wins; an
    // absent attribute reads as empty).
    void Deserialize(const CCmlDOM_Element& element) override;
    int SerializeContent(std::wostream& os, uint32_t level) const override;
    int SerializeContent(std::ostream& os, uint32_t level) const override;

    virtual void Assign(const CGetVulnerabilitiesByAddressRequest& other);
    virtual const std::wstring& GetStartAddress() const { return m_range.GetStartAddress(); }
    virtual const std::wstring& GetEndAddress() const { return m_range.GetEndAddress(); }
    virtual const std::wstring& GetAddressType() const { return m_range.GetAddressType(); }
    virtual void SetStartAddress(const wchar_t* address) { m_range.SetStartAddress(address); }
    virtual void SetEndAddress(const wchar_t* address) { m_range.SetEndAddress(address); }
    // "ipv4" or "ipv6" from the client.
    virtual void SetAddressType(const wchar_t* addressType) { m_range.SetAddressType(addressType); }

    void SetStartAddress(const std::wstring& address) { SetStartAddress(address.c_str()); }
    void SetEndAddress(const std::wstring& address) { SetEndAddress(address.c_str()); }
    void SetAddressType(const std::wstring& addressType) { SetAddressType(addressType.c_str()); }

private:
    template <class Stream>
    int WriteContent(Stream& os, uint32_t level) const;

    EventQueryMessages::CAddressRange m_range;
};

}  // namespace zav::cml
