// Shared pieces of the CML layer tests: the parser platform for the whole run, temporary
// folders, writing and reading compound messages, and the check of a raised CCmlException.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <xercesc/dom/DOMImplementation.hpp>
#include <xercesc/dom/DOMImplementationRegistry.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cml/CmlException.h"
#include "cml/CmlMessage.h"
#include "cml/CmlParser.h"

namespace zav::cml::test {

// Keeps the parser platform up for the whole run, so that tests may build DOM trees by hand.
// Initialize and Terminate are reference counted.
class CXercesEnvironment : public ::testing::Environment {
public:
    void SetUp() override { xercesc::XMLPlatformUtils::Initialize(); }
    void TearDown() override { xercesc::XMLPlatformUtils::Terminate(); }
};
inline ::testing::Environment* const g_xercesEnvironment =
    ::testing::AddGlobalTestEnvironment(new CXercesEnvironment);

// A temporary folder removed with everything in it.
class CTempDir {
public:
    CTempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "cmltestXXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) m_path = pattern;
    }
    ~CTempDir() { std::filesystem::remove_all(m_path); }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A new document holding only its root element; the caller owns it.
inline xercesc::DOMDocument* NewDocument(const XMLCh* ns, const XMLCh* root) {
    return xercesc::DOMImplementationRegistry::getDOMImplementation(u"Core")->createDocument(
        ns, root, nullptr);
}

inline const unsigned char* Bytes(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

inline void Parse(CCmlParser& parser, const std::string& xml, uint32_t mode,
                  const std::wstring& folder = std::wstring()) {
    parser.ParseBuffer(Bytes(xml), xml.size(), mode, folder);
}

inline std::string Narrow(const CCmlDocumentBase& doc) {
    std::ostringstream os;
    doc.Serialize(os);
    return os.str();
}

// The compound message read from xml through the class factory, or null.
inline std::unique_ptr<CCmlMessage> ReadMessage(const std::string& xml,
                                                uint32_t mode = CML_DONT_VALIDATE,
                                                const NamespaceSet* namespaces = nullptr,
                                                const std::wstring& folder = std::wstring()) {
    std::unique_ptr<CCmlDocumentBase> doc =
        DeserializeBuffer(Bytes(xml), xml.size(), mode, namespaces, folder, CML_LOOKUP_MATCH);
    auto* message = dynamic_cast<CCmlMessage*>(doc.get());
    if (message != nullptr) doc.release();
    return std::unique_ptr<CCmlMessage>(message);
}

inline void ExpectLines(const std::vector<std::string>& expected, const std::string& written) {
    std::vector<std::string> lines;
    std::istringstream in(written);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(expected.size(), lines.size()) << written;
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(expected[i], lines[i]) << "line " << i;
}

// The lines of the compound message the message tests build (source agent "probe", fixed message
// id) whose schema locations end with vocabularyLocation, around the given body lines.
inline std::vector<std::string> MessageLines(const std::string& vocabularyLocation,
                                             const std::vector<std::string>& body) {
    std::vector<std::string> lines = {
        "<?xml version='1.0' encoding='UTF-8' standalone='no'?>",
        "<zav xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance'",
        "    xsi:schemaLocation='http://schemas.zav.example.org ./schemas/Zav1_0_1.xsd",
        "    http://schemas.zav.example.org/cml/Message ./schemas/cml/Message/Message1_0_0.xsd",
        "    " + vocabularyLocation + "'",
        "    xmlns='http://schemas.zav.example.org' schema-version='1.0.1'>",
        "    <cml xmlns='http://schemas.zav.example.org/cml/Message' schema-version='1.0.0'>",
        "        <message-envelope broadcast='false' "
        "message-id='0f8fad5b-d9cb-469f-a165-70867728950e'>",
        "            <source name='probe' namespace='http://schemas.zav.example.org/agents' "
        "ip-address='10.1.2.3' host-name='host-1' "
        "agent-id='6ba7b810-9dad-11d1-80b4-00c04fd430c8'/>",
        "            <message-body>"};
    lines.insert(lines.end(), body.begin(), body.end());
    for (const char* line :
         {"            </message-body>", "        </message-envelope>", "    </cml>", "</zav>"})
        lines.emplace_back(line);
    return lines;
}
inline const wchar_t MESSAGE_ID[] = L"0f8fad5b-d9cb-469f-a165-70867728950e";
inline CAgentInfo Source() {
    return CAgentInfo(std::wstring(NAMESPACE_BASE) + L"/agents", L"probe", L"10.1.2.3", L"host-1",
                      L"6ba7b810-9dad-11d1-80b4-00c04fd430c8", L"", L"");
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
