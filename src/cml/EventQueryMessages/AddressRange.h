// CAddressRange: the address-range child of the by-address requests (start address, end address
// and address type, carried as text and not checked here).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "cml/CmlDOM_Element.h"

namespace zav::cml::EventQueryMessages {

class CAddressRange {
public:
    const std::wstring& GetStartAddress() const { return m_strStartAddress; }
    const std::wstring& GetEndAddress() const { return m_strEndAddress; }
    const std::wstring& GetAddressType() const { return m_strAddressType; }
    // A null pointer sets an empty text.
    void SetStartAddress(const wchar_t* address);
    void SetEndAddress(const wchar_t* address);
    void SetAddressType(const wchar_t* addressType);

    // Every address-range child of request in turn, so the last one wins; an absent attribute
    // reads as empty, and no such child leaves the range as it was.
    void Read(const CCmlDOM_Element& request);
    // <address-range start-address='A' end-address='B' address-type='T'/> on a line of its own,
    // every attribute written even when empty.
    void Write(std::wostream& os, uint32_t level) const;
    void Write(std::ostream& os, uint32_t level) const;

private:
    template <class Stream>
    void WriteElement(Stream& os, uint32_t level) const;

    std::wstring m_strStartAddress;
    std::wstring m_strEndAddress;
    std::wstring m_strAddressType;
};

}  // namespace zav::cml::EventQueryMessages
