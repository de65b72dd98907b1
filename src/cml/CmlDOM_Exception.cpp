#include "cml/CmlDOM_Exception.h"

#include <utility>

#include "zavToolsLib/ConvertUTF.h"

namespace zav::cml {

CCmlDOM_Exception::CCmlDOM_Exception(const xercesc::DOMException& e)
    : m_iCode(e.code), m_strMessage(zavToolsLib::FromUtf16(e.getMessage())) {}

CCmlDOM_Exception::CCmlDOM_Exception(short code, std::wstring message)
    : m_iCode(code), m_strMessage(std::move(message)) {}

}  // namespace zav::cml
