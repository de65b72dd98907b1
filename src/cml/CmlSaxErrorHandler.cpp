#include "cml/CmlSaxErrorHandler.h"

#include <xercesc/sax/SAXParseException.hpp>

#include <string>

#include "cml/CmlException.h"
#include "zavToolsLib/ConvertUTF.h"

namespace zav::cml {

namespace {

[[noreturn]] void Raise(const wchar_t* firstWords, const xercesc::SAXParseException& e,
                        uint32_t code) {
    using zavToolsLib::FromUtf16;
    throw CCmlException(
        L"Parse operation",
        std::wstring(firstWords) + L" parsing input \"" + FromUtf16(e.getSystemId()) +
            L"\", line " + std::to_wstring(e.getLineNumber()) + L", column " +
            std::to_wstring(e.getColumnNumber()) + L"\n   Message: " + FromUtf16(e.getMessage()),
        code);
}

}  // namespace

CCmlSaxErrorHandler::~CCmlSaxErrorHandler() = default;

void CCmlSaxErrorHandler::warning(const xercesc::SAXParseException& e) {
    Raise(L"Warning", e, CML_W_PARSE_WARNING);
}

void CCmlSaxErrorHandler::error(const xercesc::SAXParseException& e) {
    Raise(L"Error", e, CML_E_PARSE_ERROR);
}

void CCmlSaxErrorHandler::fatalError(const xercesc::SAXParseException& e) {
    Raise(L"Fatal error", e, CML_E_PARSE_FATAL);
}

}  // namespace zav::cml
