// A DOM error of the XML parser library, copied so that it outlives the parser's objects. CML code
// turns it into a CCmlException with the context of the operation that failed.
#pragma once

#include <xercesc/dom/DOMException.hpp>

#include <cstdint>
#include <string>

#include "cml/CmlException.h"

namespace zav::cml {

class CCmlDOM_Exception {
public:
    explicit CCmlDOM_Exception(const xercesc::DOMException& e);
    CCmlDOM_Exception(short code, std::wstring message);

    short GetCode() const { return m_iCode; }
    const std::wstring& GetMessage() const { return m_strMessage; }

    // The CCmlException that callers raise in place of the DOM error.
    CCmlException ToCmlException(const std::wstring& context) const {
        return CCmlException(context, m_strMessage, static_cast<uint32_t>(m_iCode));
    }

private:
    short m_iCode;
    std::wstring m_strMessage;
};

}  // namespace zav::cml
