// The error handler given to the XML parser: every complaint, warnings included, ends the parse
// with a CCmlException naming the input, line and column.
#pragma once

#include <xercesc/sax/ErrorHandler.hpp>

namespace zav::cml {

class CCmlSaxErrorHandler : public xercesc::ErrorHandler {
public:
    CCmlSaxErrorHandler() = default;
    ~CCmlSaxErrorHandler() override;

    // "Warning parsing input ..." (0x47380001).
    void warning(const xercesc::SAXParseException& e) override;
    // "Error parsing input ..." (0xC7380002).
    void error(const xercesc::SAXParseException& e) override;
    // "Fatal error parsing input ..." (0xC7380003).
    void fatalError(const xercesc::SAXParseException& e) override;
    void resetErrors() override {}
};

}  // namespace zav::cml
