#include "cml/CmlWriter.h"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include "cml/CmlDOM.h"
#include "cml/CmlDocumentBase.h"
#include "cml/CmlTestSupport.h"
#include "cml/XmlUtils.h"
#include "zavToolsLib/ConvertUTF.h"

using namespace zav::cml;
using namespace zav::cml::test;
using zavToolsLib::FromUtf8;
using zavToolsLib::ToUtf8;
namespace fs = std::filesystem;

namespace {

const std::wstring BASE = NAMESPACE_BASE;
const std::wstring XSI = L"http://www.w3.org/2001/XMLSchema-instance";

// A CML object without content of its own.
class CTestDocument : public CCmlDocumentBase {
public:
    CTestDocument(std::wstring tag, std::wstring ns, const std::wstring& version)
        : CCmlDocumentBase(std::move(tag), std::move(ns), version), m_strVersion(version) {}
    CCmlDocumentBase* Clone() const override { return new CTestDocument(*this); }
    const std::wstring& GetDocumentSchemaVersion() const override { return m_strVersion; }
    void SetDocumentSchemaVersion(const std::wstring& v) override { m_strVersion = v; }

private:
    std::wstring m_strVersion;
};

// A parsed document, owned by its wrapper.
CCmlDOM_Document ParseTree(const std::string& xml) {
    xercesc::XercesDOMParser parser;
    parser.setDoNamespaces(true);
    xercesc::MemBufInputSource input(reinterpret_cast<const XMLByte*>(xml.data()), xml.size(),
                                     "test");
    parser.parse(input);
    return CCmlDOM_Document(parser.adoptDocument(), true);
}

const std::string kTree =
    "<!DOCTYPE p:root [<!ATTLIST p:root d CDATA 'dflt'>]>\n"
    "<p:root xmlns:p='urn:a' a='x&amp;y' b='line&#10;two'>\n"
    "  <p:child>caf\xC3\xA9 &lt;&gt; \xF0\x9F\x98\x80</p:child>\n"
    "  <other xmlns='urn:b'><!--note--><![CDATA[<raw>]]></other>\n"
    "  <p:empty/>\n"
    "  <ws>  \n  </ws>\n"
    "</p:root>\n";

// The node as written to a wide stream; the narrow stream must write the same characters.
std::wstring WrittenNode(const CCmlDOM_Node& node, bool formatted) {
    std::wostringstream wide;
    XmlUtils::SerializeNode(node, wide, formatted);
    std::ostringstream narrow;
    XmlUtils::SerializeNode(node, narrow, formatted);
    EXPECT_EQ(ToUtf8(wide.str()), narrow.str());
    return wide.str();
}

}  // namespace

TEST(CmlWriter, EscapesAttributeValuesAndContent) {
    const struct {
        const wchar_t* text;
        const wchar_t* attribute;
        const wchar_t* content;
    } cases[] = {
        {L"a\nb", L"a&#xa;b", L"a\nb"},
        {L"\"'", L"&quot;&apos;", L"&quot;&apos;"},
        {L"&<>", L"&amp;&lt;&gt;", L"&amp;&lt;&gt;"},
        {L"\r\t plain", L"\r\t plain", L"\r\t plain"},
        {L"caf\u00e9 \U0001F600&", L"caf\u00e9 \U0001F600&amp;", L"caf\u00e9 \U0001F600&amp;"},
        {L"", L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.attribute, TranslateAttributeValue(c.text));
        EXPECT_EQ(c.content, TranslateContent(c.text));
        // Byte by byte over UTF-8 gives the same characters.
        const std::string narrow = ToUtf8(c.text);
        EXPECT_EQ(ToUtf8(c.attribute), TranslateAttributeValue(narrow.c_str()));
        EXPECT_EQ(ToUtf8(c.content), TranslateContent(narrow.c_str()));
        std::wostringstream element;
        WriteTextElement(element, 1, L"n", c.text);
        EXPECT_EQ(L"    <n>" + std::wstring(c.content) + L"</n>\n", element.str());
    }
    ExpectCmlError([] { TranslateAttributeValue(static_cast<const wchar_t*>(nullptr)); },
                   L"Translating XML attribute value", L"NULL pointer received", 0xC7210003u);
    ExpectCmlError([] { TranslateContent(static_cast<const char*>(nullptr)); },
                   L"Translating XML content", L"NULL pointer received", 0xC7210003u);
}

TEST(CmlWriter, DeclarationsAndSchemaLocations) {
    // A wide file stream ends up as UTF-8 bytes.
    const CTempDir dir;
    {
        std::wofstream file(dir.Path() / "a.xml");
        WriteXmlDeclaration(file, true);
    }
    EXPECT_EQ("<?xml version='1.0' encoding='UTF-8' standalone='yes'?>\n",
              ReadFile(dir.Path() / "a.xml"));
    // A plain wide stream says nothing about where its characters go.
    std::wostringstream sink;
    std::wostream other(sink.rdbuf());
    ExpectCmlError([&] { WriteXmlDeclaration(other, false); }, L"Writing XML declaration",
                   L"Unsupported stream type", 0xC7210003u);

    EXPECT_EQ(L"./schemas/cml/cml.xsd", BuildSchemaFileName(BASE + L"/cml", L""));
    EXPECT_EQ(L"/x/cml/cml1_0_0.xsd", BuildSchemaFileName(BASE + L"/cml", L"1.0.0", L"/x"));
    ExpectCmlError([] { BuildSchemaFileName(L"urn:other", L"1.0.0"); }, L"Building schema filename",
                   L"Invalid namespace", 0xC738000Au);

    // In the root start tag blanks become %20 in the path only.
    std::wostringstream wide;
    WriteRootStart(wide, L"r", NamespaceSet{CNamespace(BASE + L"/cml/b c", L"1.0")});
    EXPECT_EQ(L"<?xml version='1.0' encoding='UCS4' standalone='no'?>\n<r xmlns:xsi='" + XSI +
                  L"'\n    xsi:schemaLocation='" + BASE +
                  L"/cml/b c ./schemas/cml/b%20c/b%20c1_0.xsd'",
              wide.str());
}

TEST(CmlWriter, SerializeDocumentToStreamsAndFiles) {
    const CTestDocument doc(L"leaf", BASE, L"1.0.1");
    // The narrow stream gets its own locale back afterwards.
    std::ostringstream narrow;
    const std::locale before = narrow.getloc();
    SerializeDocument(doc, narrow);
    EXPECT_TRUE(narrow.getloc() == before);
    const std::string document =
        "<?xml version='1.0' encoding='UTF-8' standalone='no'?>\n" +
        ToUtf8(L"<leaf xmlns:xsi='" + XSI + L"'\n    xsi:schemaLocation='" + BASE +
               L" ./schemas/Zav1_0_1.xsd' xmlns='" + BASE + L"' schema-version='1.0.1'/>\n");
    EXPECT_EQ(document, narrow.str());

    // Into a file below folders that do not exist yet; a second write truncates.
    const CTempDir dir;
    const fs::path file = dir.Path() / "one" / "two" / "doc.xml";
    SerializeDocumentToFile(doc, file.c_str());
    SerializeDocumentToFile(doc, FromUtf8(file.string()).c_str());
    EXPECT_EQ(document, ReadFile(file));

    const std::string folder = dir.Path().string();
    ExpectCmlError([&] { SerializeDocumentToFile(doc, folder.c_str()); }, L"Serializing to file",
                   L"Unable to open file '" + FromUtf8(folder) + L"'", 0xC7210021u);
}

TEST(CmlWriter, GenerateDocumentWrapsMessagesInOneCmlElement) {
    CTestDocument first(L"m1", BASE, L"1.0.1");
    CTestDocument second(L"m2", BASE + L"/cml/Message/EventQueryMessages", L"1.0.0");
    std::vector<CTestDocument*> messages{&first, &second};
    std::wostringstream wide;
    GenerateDocument(messages, wide);
    const std::wstring tail =
        L"./schemas/cml/Message/EventQueryMessages/EventQueryMessages1_0_0.xsd'\n"
        L"    xmlns='" +
        BASE + L"' schema-version='1.0.1'>\n    <cml xmlns='" + BASE +
        L"/cml/Message' schema-version='1.0.0'>\n        <m1 xmlns='" + BASE +
        L"' schema-version='1.0.1'/>\n        <m2 xmlns='" + BASE +
        L"/cml/Message/EventQueryMessages' schema-version='1.0.0'/>\n"
        L"    </cml>\n</zav>\n";
    ASSERT_GT(wide.str().size(), tail.size());
    EXPECT_EQ(tail, wide.str().substr(wide.str().size() - tail.size()));

    ExpectCmlError([&] { GenerateDocument(std::vector<const CCmlDocumentBase*>(), wide); },
                   L"Generating CML document", L"Empty message vector", 0xC7210003u);
}

TEST(CmlWriter, SerializeNodeWritesAParsedTree) {
    CCmlDOM_Document doc = ParseTree(kTree);
    const CCmlDOM_Element root = doc.getDocumentElement();
    EXPECT_EQ(
        L"<p:root a='x&amp;y' b='line&#xa;two' xmlns:p='urn:a'>\n"
        L"    <p:child>caf\u00e9 &lt;&gt; \U0001F600</p:child>\n"
        L"    <other xmlns='urn:b'>\n"
        L"        <!--note-->\n"
        L"        <![CDATA[<raw>]]>\n"
        L"    </other>\n"
        L"    <p:empty/>\n"
        L"    <ws></ws>\n"
        L"</p:root>\n",
        WrittenNode(root, true));
    EXPECT_EQ(
        L"<p:root a='x&amp;y' b='line&#xa;two' xmlns:p='urn:a'>"
        L"<p:child>caf\u00e9 &lt;&gt; \U0001F600</p:child>"
        L"<other xmlns='urn:b'><!--note--><![CDATA[<raw>]]></other>"
        L"<p:empty/><ws></ws></p:root>",
        WrittenNode(root, false));

    // Attributes filled in from a DTD default appear only with the default-values switch.
    SetSerializeDefaults(true);
    const std::wstring withDefaults = WrittenNode(root, false);
    SetSerializeDefaults(false);
    EXPECT_EQ(0u, withDefaults.find(L"<p:root a='x&amp;y' b='line&#xa;two' d='dflt' xmlns:p="));
}

TEST(CmlWriter, CopyDOMNodeMakesAStandaloneDocument) {
    CCmlDOM_Document doc = ParseTree(kTree);
    EXPECT_TRUE(XmlUtils::CopyDOMNode(CCmlDOM_Node()).IsNull());
    const CCmlDOM_Node child = doc.getDocumentElement().getFirstChild().getNextSibling();
    CCmlDOM_Element copy = XmlUtils::CopyDOMNode(child);
    CCmlDOM_Document copyDoc = copy.getOwnerDocument();
    EXPECT_TRUE(copyDoc.getDocumentElement().isSameNode(copy));
    // Standing alone, the copy declares its namespace.
    EXPECT_EQ(L"<p:child xmlns:p='urn:a'>caf\u00e9 &lt;&gt; \U0001F600</p:child>",
              WrittenNode(copy, false));
    copyDoc.release();
}
