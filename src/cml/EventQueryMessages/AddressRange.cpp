#include "cml/EventQueryMessages/AddressRange.h"

#include "cml/CmlTagNames.h"
#include "cml/CmlWriter.h"
#include "cml/EventQueryMessages/EventQueryMessages.h"

namespace zav::cml::EventQueryMessages {

void CAddressRange::SetStartAddress(const wchar_t* address) { m_strStartAddress = Text(address); }
void CAddressRange::SetEndAddress(const wchar_t* address) { m_strEndAddress = Text(address); }
void CAddressRange::SetAddressType(const wchar_t* addressType) {
    m_strAddressType = Text(addressType);
}

void CAddressRange::Read(const CCmlDOM_Element& request) {
    ForEachChild(request, CML_TAG_ADDRESS_RANGE, [this](const CCmlDOM_Element& range) {
        m_strStartAddress = Attribute(range, CML_TAG_START_ADDRESS);
        m_strEndAddress = Attribute(range, CML_TAG_END_ADDRESS);
        m_strAddressType = Attribute(range, CML_TAG_ADDRESS_TYPE);
    });
}

template <class Stream>
void CAddressRange::WriteElement(Stream& os, uint32_t level) const {
    WriteStartTagOpen(os, level, CML_TAG_ADDRESS_RANGE);
    WriteEscapedAttribute(os, CML_TAG_START_ADDRESS, m_strStartAddress);
    WriteEscapedAttribute(os, CML_TAG_END_ADDRESS, m_strEndAddress);
    WriteEscapedAttribute(os, CML_TAG_ADDRESS_TYPE, m_strAddressType);
    WriteText(os, L"/>");
    WriteLineEnd(os);
}

void CAddressRange::Write(std::wostream& os, uint32_t level) const { WriteElement(os, level); }
void CAddressRange::Write(std::ostream& os, uint32_t level) const { WriteElement(os, level); }

}  // namespace zav::cml::EventQueryMessages
