#include "cml/CmlParser.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cml/CmlMessage.h"
#include "cml/CmlTestSupport.h"
#include "cml/CmlVersionRegistry.h"
#include "zavToolsLib/ConvertUTF.h"

namespace zav::cml {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ExpectCmlError;
using test::Parse;

const std::wstring BASE = NAMESPACE_BASE;
const std::wstring CML_MESSAGE_NS = BASE + L"/cml/Message";

// The root fixes its schema-version, so a document declaring another one is invalid.
const char kRootSchema[] =
    "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'\n"
    "    targetNamespace='http://schemas.zav.example.org' elementFormDefault='qualified'>\n"
    "  <xs:element name='zav'><xs:complexType>\n"
    "    <xs:sequence><xs:any namespace='##other' processContents='strict' minOccurs='0'/>"
    "</xs:sequence>\n"
    "    <xs:attribute name='schema-version' type='xs:string' fixed='1.0.1' use='required'/>\n"
    "  </xs:complexType></xs:element>\n"
    "</xs:schema>\n";
const char kCmlSchema[] =
    "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'\n"
    "    targetNamespace='http://schemas.zav.example.org/cml/Message'>\n"
    "  <xs:element name='cml'><xs:complexType>\n"
    "    <xs:attribute name='schema-version' type='xs:string' use='required'/>\n"
    "  </xs:complexType></xs:element>\n"
    "</xs:schema>\n";

std::string Doc(const std::string& rootVersion, const std::string& cmlVersion = "1.0.0") {
    return "<zav xmlns='http://schemas.zav.example.org' schema-version='" + rootVersion +
           "'>\n<cml xmlns='http://schemas.zav.example.org/cml/Message' schema-version='" +
           cmlVersion + "'/></zav>";
}

// Schemas in a temporary folder, laid out as the schema file names expect.
class CmlParserSchemas : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "cmlparserXXXXXX").string();
        ASSERT_NE(nullptr, ::mkdtemp(pattern.data()));
        m_dir = pattern;
        fs::create_directories(m_dir / "cml/Message");
        std::ofstream(m_dir / "Zav1_0_1.xsd") << kRootSchema;
        std::ofstream(m_dir / "cml/Message/Message1_0_0.xsd") << kCmlSchema;
        m_parser.AddNamespace(BASE, L"1.0.1");
        m_parser.AddNamespace(CML_MESSAGE_NS, L"1.0.0");
    }
    void TearDown() override {
        SetDefaultValidation(true);
        fs::remove_all(m_dir);
    }
    std::wstring Folder() const { return zavToolsLib::FromUtf8(m_dir.string()); }

    fs::path m_dir;
    CCmlParser m_parser;
};

TEST_F(CmlParserSchemas, ValidatingParseExplainsIncompatibleVersions) {
    Parse(m_parser, Doc("1.0.1"), CML_VALIDATE, Folder());
    EXPECT_EQ(L"zav", m_parser.GetRootTagName());
    EXPECT_EQ(BASE, m_parser.GetRootNamespace());
    EXPECT_EQ(L"1.0.1", m_parser.GetRootSchemaVersion());

    // The cml element at a newer minor version is listed too; 1.0.0 under an expected 1.0.1 is
    // compatible.
    for (const auto& [root, cml, count] :
         {std::make_tuple("1.0.2", "1.1.0", 2u), std::make_tuple("1.0.0", "1.0.0", 0u)}) {
        try {
            Parse(m_parser, Doc(root, cml), CML_VALIDATE, Folder());
            ADD_FAILURE() << "accepted " << root;
        } catch (const CSchemaException& e) {
            EXPECT_EQ(L"Parse operation", e.GetContext());
            EXPECT_EQ(0xC7380002u, e.GetCode());
            EXPECT_EQ(0u, e.GetMessage().rfind(
                              L"Error parsing input \"ZAV CML Stream\", line 1, column ", 0))
                << zavToolsLib::ToUtf8(e.GetMessage());
            ASSERT_EQ(count, e.GetIncompatibilities().size()) << root;
            if (count == 0) continue;
            auto it = e.GetIncompatibilities().begin();
            EXPECT_EQ(BASE, it->GetNamespace());
            EXPECT_EQ(L"1.0.1", it->GetExpectedVersion());
            EXPECT_EQ(L"1.0.2", it->GetFoundVersion());
            ++it;
            EXPECT_EQ(CML_MESSAGE_NS, it->GetNamespace());
            EXPECT_EQ(L"1.0.0", it->GetExpectedVersion());
            EXPECT_EQ(L"1.1.0", it->GetFoundVersion());
        }
    }
}

TEST_F(CmlParserSchemas, ModeDecidesWhetherSchemasAreLoaded) {
    const std::string invalid = Doc("1.0.2");
    Parse(m_parser, invalid, CML_DONT_VALIDATE, Folder());
    EXPECT_EQ(L"1.0.2", m_parser.GetRootSchemaVersion());
    // Mode 3 follows the parser's mode, and a parser in mode 3 the library default.
    EXPECT_TRUE(SetDefaultValidation(false));
    Parse(m_parser, invalid, CML_VALIDATE_DEFAULT, Folder());
    SetDefaultValidation(true);
    EXPECT_THROW(Parse(m_parser, invalid, CML_VALIDATE_DEFAULT, Folder()), CSchemaException);
    m_parser.SetValidationMode(CML_DONT_VALIDATE);
    Parse(m_parser, invalid, CML_VALIDATE_DEFAULT, Folder());
    m_parser.SetValidationMode(CML_VALIDATE);
    EXPECT_THROW(Parse(m_parser, invalid, CML_VALIDATE_DEFAULT, Folder()), CSchemaException);
    // No folder anywhere: no external schema locations, nothing to validate against.
    Parse(m_parser, invalid, CML_VALIDATE, L"");

    // DeserializeBuffer hands its namespaces to the parser only for validation.
    RegisterCmlMessage(GetGlobalClassFactory());
    const std::string message =
        "<zav xmlns='http://schemas.zav.example.org' schema-version='1.0.2'>"
        "<cml xmlns='http://schemas.zav.example.org/cml/Message' schema-version='1.0.0'>"
        "<message-envelope message-id='m'/></cml></zav>";
    const unsigned char* bytes = Bytes(message);
    const NamespaceSet& namespaces = m_parser.GetNamespaces();
    EXPECT_NE(nullptr,
              DeserializeBuffer(bytes, message.size(), CML_DONT_VALIDATE, &namespaces, Folder()));
    EXPECT_THROW(DeserializeBuffer(bytes, message.size(), CML_VALIDATE, &namespaces, Folder()),
                 CSchemaException);
}

TEST_F(CmlParserSchemas, ExternalSchemaLocationsAndNamespaceConflicts) {
    std::wstring location;
    m_parser.BuildExternalSchemaLocation(location, L"");
    EXPECT_EQ(L"", location);
    AddImplicitNamespace(BASE + L"/cml", L"2.4.2");
    AddImplicitNamespace(BASE + L"/cml", L"2.4.2");
    m_parser.BuildExternalSchemaLocation(location, L"/s dir");
    EXPECT_EQ(BASE + L"/cml /s%20dir/cml/cml2_4_2.xsd " + BASE + L" /s%20dir/Zav1_0_1.xsd " +
                  CML_MESSAGE_NS + L" /s%20dir/cml/Message/Message1_0_0.xsd",
              location);
    SetLibrarySchemaFolder(L"/lib");
    m_parser.BuildExternalSchemaLocation(location, L"");
    EXPECT_EQ(0u, location.find(BASE + L"/cml /lib/cml/cml2_4_2.xsd "));
    SetLibrarySchemaFolder(L"");

    const std::wstring conflict = L"Namespace/schema-version conflict:  tried to add namespace \"";
    ExpectCmlError([] { AddImplicitNamespace(BASE + L"/cml", L"2.4.3"); },
                   L"Adding implicit namespace to CML parser",
                   conflict + BASE + L"/cml\" version 2.4.3; set already contains namespace \"" +
                       BASE + L"/cml\" version 2.4.2",
                   0xC738000E);
    ExpectCmlError([&] { m_parser.AddNamespace(BASE + L"/cml", L"2.4.1"); },
                   L"Adding namespace to CML parser",
                   conflict + BASE +
                       L"/cml\" version 2.4.1 to instance-specific namespace set; implicit "
                       L"namespace set already contains namespace \"" +
                       BASE + L"/cml\" version 2.4.2",
                   0xC7380024);
    m_parser.AddNamespace(BASE, L"1.0.1");
    ExpectCmlError([&] { m_parser.AddNamespace(BASE, L"1.0.0"); },
                   L"Adding namespace to CML parser",
                   L"Adding namespace \"" + BASE + L"\" version 1.0.0; namespace \"" + BASE +
                       L"\" version 1.0.1 already specified",
                   0xC738000E);
    ClearImplicitNamespaces();
}

TEST(CmlParserTest, ParserComplaintsAndFiles) {
    CCmlParser parser;
    // A warning ends the parse as well.
    ExpectCmlError(
        [&] { Parse(parser, "<?xml version='1.0' encoding='UTF-16'?><zav/>", 2, L""); },
        L"Parse operation",
        L"Warning parsing input \"ZAV CML Stream\", line 1, column 40\n   Message: encoding "
        L"'UTF-16' from XML declaration or manually set contradicts the auto-sensed encoding; "
        L"ignoring",
        0x47380001);
    ExpectCmlError([&] { Parse(parser, "<zav>\n  <a x='1' x='2'/></zav>", 2, L""); },
                   L"Parse operation",
                   L"Fatal error parsing input \"ZAV CML Stream\", line 2, column 19\n"
                   L"   Message: attribute 'x' is already specified for element 'a'",
                   0xC7380003);

    const fs::path path = fs::temp_directory_path() / "cmlparser_file_\xC3\xA9.xml";
    std::ofstream(path) << "<zav xmlns='http://schemas.zav.example.org' schema-version='1.0.1'>"
                           "<cml xmlns='http://schemas.zav.example.org/cml/Message'>"
                           "<message-envelope message-id='from-file'/></cml></zav>";
    parser.ParseFile(path.c_str(), CML_DONT_VALIDATE);
    EXPECT_EQ(L"1.0.1", parser.GetRootSchemaVersion());
    RegisterCmlMessage(GetGlobalClassFactory());
    const std::unique_ptr<CCmlDocumentBase> doc =
        DeserializeFile(zavToolsLib::FromUtf8(path.string()).c_str());
    fs::remove(path);
    const auto* message = dynamic_cast<const CCmlMessage*>(doc.get());
    ASSERT_NE(nullptr, message);
    EXPECT_EQ(L"from-file", message->GetMessageId());
    try {
        parser.ParseFile(path.c_str(), CML_DONT_VALIDATE);
        ADD_FAILURE() << "parsed a removed file";
    } catch (const CCmlException& e) {
        EXPECT_EQ(0xC7380003u, e.GetCode());
        EXPECT_NE(std::wstring::npos, e.GetMessage().find(L"unable to open primary document"));
    }
    // The document of the last successful parse stays.
    EXPECT_EQ(L"zav", std::wstring(parser.GetDocumentElement().getTagName()));
}

TEST(CmlVersionRegistryTest, RecordsAndDumpsInNameOrder) {
    CreateLibraryVersionRegistry();
    SetLibraryVersion(L"ZzLib", L"2.0");
    SetLibraryVersion(L"AaLib", L"1.0");
    SetLibraryVersion(L"AaLib", L"1.1");
    std::ostringstream os;
    DumpLibraryVersions(os);
    RemoveLibraryVersion(L"AaLib");
    RemoveLibraryVersion(L"ZzLib");
    const std::string dump = os.str();
    const auto aa = dump.find("Library:  AaLib version = 1.1\n");
    const auto core = dump.find("Library:  CmlCore version = 1.0.0\n");
    const auto zz = dump.find("Library:  ZzLib version = 2.0\n");
    ASSERT_NE(std::string::npos, aa) << dump;
    ASSERT_NE(std::string::npos, core) << dump;
    ASSERT_NE(std::string::npos, zz) << dump;
    EXPECT_LT(aa, core);
    EXPECT_LT(core, zz);
    EXPECT_EQ(L"", GetLibraryVersion(L"AaLib"));
}

}  // namespace
}  // namespace zav::cml
