// Shared pieces of the CML layer tests: the parser platform for the whole run, new and parsed
// documents, and the check of a raised CCmlException.
#pragma once

#include <gtest/gtest.h>
#include <xercesc/dom/DOMImplementation.hpp>
#include <xercesc/dom/DOMImplementationRegistry.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "cml/CmlException.h"
#include "cml/CmlParser.h"

namespace zav::cml::test {

// Keeps the parser platform up from before the first test to after the last, so that tests may
// build DOM trees by hand. Initialize and Terminate are reference counted.
class CXercesEnvironment : public ::testing::Environment {
public:
    void SetUp() override { xercesc::XMLPlatformUtils::Initialize(); }
    void TearDown() override { xercesc::XMLPlatformUtils::Terminate(); }
};
// An inline variable: registered once per test binary, however many files include this header.
inline ::testing::Environment* const g_xercesEnvironment =
    ::testing::AddGlobalTestEnvironment(new CXercesEnvironment);

// A new document holding only its root element; the caller owns it.
inline xercesc::DOMDocument* NewDocument(const XMLCh* ns, const XMLCh* root) {
    return xercesc::DOMImplementationRegistry::getDOMImplementation(u"Core")->createDocument(
        ns, root, nullptr);
}

// The bytes of a text, for the parser's buffer interfaces.
inline const unsigned char* Bytes(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

inline void Parse(CCmlParser& parser, const std::string& xml, uint32_t mode,
                  const std::wstring& folder = std::wstring()) {
    parser.ParseBuffer(Bytes(xml), xml.size(), mode, folder);
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// f must raise a CCmlException with exactly this context, message and code.
template <class F>
void ExpectCmlError(F&& f, const std::wstring& context, const std::wstring& message,
                    uint32_t code) {
    try {
        f();
        ADD_FAILURE() << "no exception";
    } catch (const CCmlException& e) {
        EXPECT_EQ(context, e.GetContext());
        EXPECT_EQ(message, e.GetMessage());
        EXPECT_EQ(code, e.GetCode());
    }
}

}  // namespace zav::cml::test
