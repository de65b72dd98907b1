#include "cml/CmlWriter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cml/CmlDOM.h"
#include "cml/CmlDocumentBase.h"
#include "cml/CmlParser.h"
#include "cml/CmlTestSupport.h"
#include "cml/XmlUtils.h"
#include "zavToolsLib/CZavCodecvt.h"
#include "zavToolsLib/ConvertUTF.h"

using namespace zav::cml;
using zav::cml::test::ExpectCmlError;
using zav::cml::test::NewDocument;
namespace fs = std::filesystem;

namespace {

const std::wstring BASE = NAMESPACE_BASE;
const std::wstring XSI = L"http://www.w3.org/2001/XMLSchema-instance";

// A CML object with an escaped free-text attribute and child objects of its own.
class CTestDocument : public CCmlDocumentBase {
public:
    CTestDocument(std::wstring tag, std::wstring ns, std::wstring version, std::wstring text = L"")
        : CCmlDocumentBase(std::move(tag), std::move(ns), version),
          m_strVersion(std::move(version)),
          m_strText(std::move(text)) {}

    CCmlDocumentBase* Clone() const override { return new CTestDocument(*this); }
    const std::wstring& GetDocumentSchemaVersion() const override { return m_strVersion; }
    void SetDocumentSchemaVersion(const std::wstring& v) override { m_strVersion = v; }
    uint32_t GetChildElementCount() const override {
        return static_cast<uint32_t>(m_children.size());
    }
    void GetNamespaces(NamespaceSet& set) const override {
        CCmlDocumentBase::GetNamespaces(set);
        for (const CTestDocument& child : m_children) child.GetNamespaces(set);
    }
    void SerializeAttributes(std::wostream& os) const override { Attributes(os); }
    void SerializeAttributes(std::ostream& os) const override { Attributes(os); }
    int SerializeContent(std::wostream& os, uint32_t level) const override {
        return Content(os, level);
    }
    int SerializeContent(std::ostream& os, uint32_t level) const override {
        return Content(os, level);
    }

    std::vector<CTestDocument> m_children;

private:
    template <class S>
    void Attributes(S& os) const {
        CCmlDocumentBase::SerializeAttributes(os);
        if (!m_strText.empty()) WriteEscapedAttribute(os, L"text", m_strText);
    }
    template <class S>
    int Content(S& os, uint32_t level) const {
        for (const CTestDocument& child : m_children) child.SerializeElement(os, level);
        return static_cast<int>(m_children.size());
    }

    std::wstring m_strVersion;
    std::wstring m_strText;
};

// A temporary folder removed with everything in it.
class CmlWriterFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "cmlwriterXXXXXX").string();
        ASSERT_NE(nullptr, ::mkdtemp(pattern.data()));
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    static std::string ReadFile(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path m_dir;
};

// A parsed document, owned by its wrapper.
CCmlDOM_Document Parse(const std::string& xml) {
    xercesc::XercesDOMParser parser;
    parser.setDoNamespaces(true);
    xercesc::MemBufInputSource input(reinterpret_cast<const XMLByte*>(xml.data()), xml.size(),
                                     "test");
    parser.parse(input);
    return CCmlDOM_Document(parser.adoptDocument(), true);
}

const std::string kTree =
    "<?xml version='1.0' encoding='UTF-8'?>\n"
    "<!DOCTYPE p:root [<!ATTLIST p:root d CDATA 'dflt'>]>\n"
    "<p:root xmlns:p='urn:a' a='x&amp;y' b='line&#10;two'>\n"
    "  <p:child>caf\xC3\xA9 &lt;&gt; \xF0\x9F\x98\x80</p:child>\n"
    "  <other xmlns='urn:b'><!--note--><![CDATA[<raw>]]></other>\n"
    "  <p:empty/>\n"
    "  <ws>  \n  </ws>\n"
    "  <tab>&#9;</tab>\n"
    "</p:root>\n";

template <class Stream>
std::wstring WrittenNode(const CCmlDOM_Node& node, bool formatted);
template <>
std::wstring WrittenNode<std::wostringstream>(const CCmlDOM_Node& node, bool formatted) {
    std::wostringstream os;
    XmlUtils::SerializeNode(node, os, formatted);
    return os.str();
}
template <>
std::wstring WrittenNode<std::ostringstream>(const CCmlDOM_Node& node, bool formatted) {
    std::ostringstream os;
    XmlUtils::SerializeNode(node, os, formatted);
    return zavToolsLib::FromUtf8(os.str());
}

}  // namespace

TEST(CmlWriter, EscapesAttributeValuesAndContent) {
    const struct {
        const wchar_t* text;
        const wchar_t* attribute;
        const wchar_t* content;
    } cases[] = {
        {L"a\nb", L"a&#xa;b", L"a\nb"},
        {L"\"", L"&quot;", L"&quot;"},
        {L"&", L"&amp;", L"&amp;"},
        {L"'", L"&apos;", L"&apos;"},
        {L"<", L"&lt;", L"&lt;"},
        {L">", L"&gt;", L"&gt;"},
        {L"\r\t plain", L"\r\t plain", L"\r\t plain"},
        {L"caf\u00e9 \U0001F600&", L"caf\u00e9 \U0001F600&amp;", L"caf\u00e9 \U0001F600&amp;"},
        {L"", L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.attribute, TranslateAttributeValue(c.text));
        EXPECT_EQ(c.content, TranslateContent(c.text));
        // Byte by byte over UTF-8 gives the same characters.
        const std::string narrow = zavToolsLib::ToUtf8(c.text);
        EXPECT_EQ(zavToolsLib::ToUtf8(c.attribute), TranslateAttributeValue(narrow.c_str()));
        EXPECT_EQ(zavToolsLib::ToUtf8(c.content), TranslateContent(narrow.c_str()));
    }
    const auto attribute = L"Translating XML attribute value";
    const auto content = L"Translating XML content";
    const auto null = L"NULL pointer received";
    ExpectCmlError([] { TranslateAttributeValue(static_cast<const wchar_t*>(nullptr)); }, attribute,
                   null, 0xC7210003u);
    ExpectCmlError([] { TranslateAttributeValue(static_cast<const char*>(nullptr)); }, attribute,
                   null, 0xC7210003u);
    ExpectCmlError([] { TranslateContent(static_cast<const wchar_t*>(nullptr)); }, content, null,
                   0xC7210003u);
    ExpectCmlError([] { TranslateContent(static_cast<const char*>(nullptr)); }, content, null,
                   0xC7210003u);
}

TEST_F(CmlWriterFiles, DeclarationFollowsTheStreamKind) {
    std::ostringstream narrow;
    WriteXmlDeclaration(narrow, true);
    WriteXmlDeclaration(narrow, false);
    EXPECT_EQ(
        "<?xml version='1.0' encoding='UTF-8' standalone='yes'?>\n"
        "<?xml version='1.0' encoding='UTF-8' standalone='no'?>\n",
        narrow.str());

    std::wostringstream wos;
    std::wstringstream wss;
    WriteXmlDeclaration(wos, false);
    WriteXmlDeclaration(wss, true);
    EXPECT_EQ(L"<?xml version='1.0' encoding='UCS4' standalone='no'?>\n", wos.str());
    EXPECT_EQ(L"<?xml version='1.0' encoding='UCS4' standalone='yes'?>\n", wss.str());

    {
        std::wofstream wof(m_dir / "a.xml");
        std::wfstream wf(m_dir / "b.xml", std::ios::out);
        WriteXmlDeclaration(wof, false);
        WriteXmlDeclaration(wf, false);
    }
    const std::string utf8 = "<?xml version='1.0' encoding='UTF-8' standalone='no'?>\n";
    EXPECT_EQ(utf8, ReadFile(m_dir / "a.xml"));
    EXPECT_EQ(utf8, ReadFile(m_dir / "b.xml"));

    // A plain wide stream says nothing about where its characters go.
    std::wostream other(wos.rdbuf());
    ExpectCmlError([&] { WriteXmlDeclaration(other, false); }, L"Writing XML declaration",
                   L"Unsupported stream type", 0xC7210003u);
}

TEST(CmlWriter, IndentationAndSchemaFileNames) {
    EXPECT_EQ(L"", GetIndentString(0));
    EXPECT_EQ(std::wstring(12, L' '), GetIndentString(3));
    SetIndentWidth(2);
    EXPECT_EQ(std::wstring(6, L' '), GetIndentString(3));
    SetIndentWidth(4);

    const struct {
        std::wstring ns;
        const wchar_t* version;
        const wchar_t* file;
    } cases[] = {
        {BASE, L"1.0.1", L"./schemas/Zav1_0_1.xsd"},
        {BASE + L"/cml/Message/EventQueryMessages", L"1.0.0",
         L"./schemas/cml/Message/EventQueryMessages/EventQueryMessages1_0_0.xsd"},
        {BASE + L"/cml", L"2.4.2", L"./schemas/cml/cml2_4_2.xsd"},
        {BASE + L"/cml", L"1.0", L"./schemas/cml/cml1_0.xsd"},
        {BASE + L"/cml", L"", L"./schemas/cml/cml.xsd"},
        {BASE + L"/cml/My Space", L"1.0.0", L"./schemas/cml/My Space/My Space1_0_0.xsd"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.file, BuildSchemaFileName(c.ns, c.version));
    }
    EXPECT_EQ(L"/x/cml/cml1_0_0.xsd", BuildSchemaFileName(BASE + L"/cml", L"1.0.0", L"/x"));
    ExpectCmlError([] { BuildSchemaFileName(L"urn:other", L"1.0.0"); }, L"Building schema filename",
                   L"Invalid namespace", 0xC738000Au);
}

TEST(CmlWriter, RootStartListsSchemaLocations) {
    NamespaceSet one{CNamespace(BASE + L"/cml", L"2.4.2")};
    std::ostringstream narrow;
    WriteRootStart(narrow, L"zav", one);
    narrow << "|";
    EXPECT_EQ(
        "<?xml version='1.0' encoding='UTF-8' standalone='no'?>\n"
        "<zav xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance'\n"
        "    xsi:schemaLocation='http://schemas.zav.example.org/cml "
        "./schemas/cml/cml2_4_2.xsd'|",
        narrow.str());

    // Blanks become %20 in the path only; entries follow the set order.
    NamespaceSet two{CNamespace(BASE + L"/cml/b c", L"1.0"), CNamespace(BASE, L"1.0.1")};
    std::wostringstream wide;
    WriteRootStart(wide, L"r", two);
    EXPECT_EQ(L"<?xml version='1.0' encoding='UCS4' standalone='no'?>\n<r xmlns:xsi='" + XSI +
                  L"'\n    xsi:schemaLocation='" + BASE + L" ./schemas/Zav1_0_1.xsd\n    " + BASE +
                  L"/cml/b c ./schemas/cml/b%20c/b%20c1_0.xsd'",
              wide.str());

    std::wostringstream empty;
    WriteRootStart(empty, L"r", NamespaceSet());
    EXPECT_EQ(
        L"<?xml version='1.0' encoding='UCS4' standalone='no'?>\n<r xmlns:xsi='" + XSI + L"'\n",
        empty.str());

    // An outside namespace fails before anything is written.
    std::ostringstream failed;
    NamespaceSet outside{CNamespace(BASE, L"1.0.1"), CNamespace(L"urn:outside", L"1.0")};
    EXPECT_THROW(WriteRootStart(failed, L"zav", outside), CCmlException);
    EXPECT_EQ("", failed.str());
}

TEST(CmlWriter, ElementPiecesWriteTheSameCharactersOnBothStreams) {
    auto write = [](auto& os) {
        WriteStartTagOpen(os, 1, L"item");
        WriteAttribute(os, L"id", L"a&b");
        WriteEscapedAttribute(os, L"text", L"\u00e9<\n'\U0001F600");
        WriteText(os, L">");
        WriteLineEnd(os);
        WriteTextElement(os, 2, L"note", L"x<y\nz");
        WriteStartTag(os, 2, L"empty");
        WriteEndTag(os, 2, L"empty");
        WriteEndTag(os, 1, L"item");
    };
    std::wostringstream wide;
    write(wide);
    std::ostringstream narrow;
    {
        zavToolsLib::CZavLocaleScope utf8(narrow);
        write(narrow);
    }
    const std::wstring expected =
        L"    <item id='a&b' text='\u00e9&lt;&#xa;&apos;\U0001F600'>\n"
        L"        <note>x&lt;y\nz</note>\n"
        L"        <empty>\n"
        L"        </empty>\n"
        L"    </item>\n";
    EXPECT_EQ(expected, wide.str());
    EXPECT_EQ(zavToolsLib::ToUtf8(expected), narrow.str());
}

TEST_F(CmlWriterFiles, SerializeDocumentWritesTheRootAndItsContent) {
    CTestDocument doc(L"root-doc", BASE + L"/cml/Message", L"1.0.0", L"\u00e9<&");
    doc.m_children.emplace_back(L"child", BASE + L"/cml/Message/EventQueryMessages", L"1.0.0");
    const std::wstring body =
        L"<root-doc xmlns:xsi='" + XSI + L"'\n    xsi:schemaLocation='" + BASE +
        L"/cml/Message ./schemas/cml/Message/Message1_0_0.xsd\n    " + BASE +
        L"/cml/Message/EventQueryMessages "
        L"./schemas/cml/Message/EventQueryMessages/EventQueryMessages1_0_0.xsd' xmlns='" +
        BASE + L"/cml/Message' schema-version='1.0.0' text='\u00e9&lt;&amp;'>\n    <child xmlns='" +
        BASE + L"/cml/Message/EventQueryMessages' schema-version='1.0.0'/>\n</root-doc>\n";

    std::wostringstream wide;
    SerializeDocument(doc, wide);
    EXPECT_EQ(L"<?xml version='1.0' encoding='UCS4' standalone='no'?>\n" + body, wide.str());

    // The narrow stream gets UTF-8 and its own locale back afterwards.
    std::ostringstream narrow;
    const std::locale before = narrow.getloc();
    SerializeDocument(doc, narrow);
    EXPECT_TRUE(narrow.getloc() == before);
    const std::string document =
        "<?xml version='1.0' encoding='UTF-8' standalone='no'?>\n" + zavToolsLib::ToUtf8(body);
    EXPECT_EQ(document, narrow.str());

    // Into a file below folders that do not exist yet.
    const fs::path file = m_dir / "one" / "two" / "doc.xml";
    SerializeDocumentToFile(doc, file.c_str());
    EXPECT_EQ(document, ReadFile(file));
    SerializeDocumentToFile(doc, zavToolsLib::FromUtf8(file.string()).c_str());
    EXPECT_EQ(document, ReadFile(file));  // truncated, not appended
    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat st {};
    ASSERT_EQ(0, ::stat((m_dir / "one").c_str(), &st));
    EXPECT_EQ(0755u & ~mask, st.st_mode & 0777u);

    // A document without children closes its root start tag.
    CTestDocument leaf(L"leaf", BASE, L"1.0.1");
    std::ostringstream leafOut;
    SerializeDocument(leaf, leafOut);
    EXPECT_NE(std::string::npos,
              leafOut.str().find("Zav1_0_1.xsd' xmlns='" + zavToolsLib::ToUtf8(BASE) +
                                 "' schema-version='1.0.1'/>\n"));

    // A namespace conflict is raised before anything is written.
    doc.m_children.emplace_back(L"other", BASE + L"/cml/Message", L"9.9.9");
    std::ostringstream conflict;
    EXPECT_THROW(SerializeDocument(doc, conflict), CCmlException);
    EXPECT_EQ("", conflict.str());
}

TEST_F(CmlWriterFiles, FileFailuresAreReported) {
    CTestDocument doc(L"d", BASE, L"1.0.1");
    const auto context = L"Serializing to file";
    ExpectCmlError([&] { SerializeDocumentToFile(doc, static_cast<const char*>(nullptr)); },
                   context, L"NULL pointer received", 0xC7210003u);
    ExpectCmlError([&] { SerializeDocumentToFile(doc, static_cast<const wchar_t*>(nullptr)); },
                   context, L"NULL pointer received", 0xC7210003u);

    std::ofstream(m_dir / "blocker") << "x";
    const std::string blocked = (m_dir / "blocker" / "sub").string();
    ExpectCmlError([&] { SerializeDocumentToFile(doc, (blocked + "/d.xml").c_str()); }, context,
                   L"Unable to create folder; path = '" + zavToolsLib::FromUtf8(blocked) + L"'",
                   0xC7210037u);

    const std::string folder = m_dir.string();
    ExpectCmlError([&] { SerializeDocumentToFile(doc, folder.c_str()); }, context,
                   L"Unable to open file '" + zavToolsLib::FromUtf8(folder) + L"'", 0xC7210021u);
}

TEST(CmlWriter, GenerateDocumentWrapsMessagesInOneCmlElement) {
    CTestDocument first(L"m1", BASE, L"1.0.1");
    CTestDocument second(L"m2", BASE + L"/cml/Message/EventQueryMessages", L"1.0.0");
    std::vector<CTestDocument*> messages{&first, &second};
    std::ostringstream narrow;
    GenerateDocument(messages, narrow);
    const std::wstring expected =
        L"<?xml version='1.0' encoding='UTF-8' standalone='no'?>\n<zav xmlns:xsi='" + XSI +
        L"'\n    xsi:schemaLocation='" + BASE + L" ./schemas/Zav1_0_1.xsd\n    " + BASE +
        L"/cml/Message/EventQueryMessages "
        L"./schemas/cml/Message/EventQueryMessages/EventQueryMessages1_0_0.xsd'\n"
        L"    xmlns='" +
        BASE + L"' schema-version='1.0.1'>\n    <cml xmlns='" + BASE +
        L"/cml/Message' schema-version='1.0.0'>\n        <m1 xmlns='" + BASE +
        L"' schema-version='1.0.1'/>\n        <m2 xmlns='" + BASE +
        L"/cml/Message/EventQueryMessages' schema-version='1.0.0'/>\n    </cml>\n</zav>\n";
    EXPECT_EQ(zavToolsLib::ToUtf8(expected), narrow.str());

    // A first message in the legacy cml namespace selects the legacy cml element.
    CTestDocument legacy(L"m0", BASE + L"/cml", L"2.4.1");
    std::wostringstream wide;
    GenerateDocument(std::vector<const CCmlDocumentBase*>{&legacy, &second}, wide);
    EXPECT_NE(std::wstring::npos,
              wide.str().find(L"<cml xmlns='" + BASE + L"/cml' schema-version='2.4.2'>\n"));

    // The root declares the process message version.
    const std::wstring previous = GetProcessMessageVersion();
    SetProcessMessageVersion(L"1.0.7");
    std::wostringstream versioned;
    GenerateDocument(messages, versioned);
    SetProcessMessageVersion(previous);
    EXPECT_NE(std::wstring::npos,
              versioned.str().find(L"\n    xmlns='" + BASE + L"' schema-version='1.0.7'>\n"));

    ExpectCmlError([&] { GenerateDocument(std::vector<const CCmlDocumentBase*>(), wide); },
                   L"Generating CML document", L"Empty message vector", 0xC7210003u);
}

TEST(CmlWriter, SerializeNodeWritesAParsedTree) {
    CCmlDOM_Document doc = Parse(kTree);
    const CCmlDOM_Element root = doc.getDocumentElement();
    const std::wstring formatted =
        L"<p:root a='x&amp;y' b='line&#xa;two' xmlns:p='urn:a'>\n"
        L"    <p:child>caf\u00e9 &lt;&gt; \U0001F600</p:child>\n"
        L"    <other xmlns='urn:b'>\n"
        L"        <!--note-->\n"
        L"        <![CDATA[<raw>]]>\n"
        L"    </other>\n"
        L"    <p:empty/>\n"
        L"    <ws></ws>\n"
        L"    <tab>\t</tab>\n"
        L"</p:root>\n";
    const std::wstring unformatted =
        L"<p:root a='x&amp;y' b='line&#xa;two' xmlns:p='urn:a'>"
        L"<p:child>caf\u00e9 &lt;&gt; \U0001F600</p:child>"
        L"<other xmlns='urn:b'><!--note--><![CDATA[<raw>]]></other>"
        L"<p:empty/><ws></ws><tab>\t</tab></p:root>";
    EXPECT_EQ(formatted, WrittenNode<std::wostringstream>(root, true));
    EXPECT_EQ(formatted, WrittenNode<std::ostringstream>(root, true));
    EXPECT_EQ(unformatted, WrittenNode<std::wostringstream>(root, false));
    EXPECT_EQ(unformatted, WrittenNode<std::ostringstream>(root, false));

    // Formatted output of a subtree starts at the given level.
    std::wostringstream nested;
    XmlUtils::SerializeNode(root.getFirstChild().getNextSibling(), nested, true, 2);
    EXPECT_EQ(L"        <p:child>caf\u00e9 &lt;&gt; \U0001F600</p:child>\n", nested.str());

    // Attributes filled in from a DTD default appear only with the default-values switch.
    SetSerializeDefaults(true);
    const std::wstring withDefaults = WrittenNode<std::wostringstream>(root, false);
    SetSerializeDefaults(false);
    EXPECT_EQ(0u, withDefaults.find(L"<p:root a='x&amp;y' b='line&#xa;two' d='dflt' xmlns:p="));
}

TEST(CmlWriter, SerializeNodeDeclaresNamespacesWhereTheyChange) {
    CCmlDOM_Document doc(NewDocument(nullptr, u"holder"), true);
    CCmlDOM_Element holder = doc.getDocumentElement();
    CCmlDOM_Element item = doc.createElementNS(L"urn:x", L"q:item");
    holder.appendChild(item);
    item.appendChild(doc.createElementNS(L"urn:x", L"q:sub"));
    item.appendChild(doc.createElementNS(L"urn:y", L"plain"));
    item.appendChild(doc.createProcessingInstruction(L"pi", L"data"));

    EXPECT_EQ(
        L"<q:item xmlns:q='urn:x'><q:sub/><plain xmlns='urn:y'/>\n"
        L"Unrecognized node type:  7</q:item>",
        WrittenNode<std::wostringstream>(item, false));
    // An element that declares its namespace itself gets no second declaration.
    item.setAttributeNS(L"http://www.w3.org/2000/xmlns/", L"xmlns:q", L"urn:x");
    EXPECT_EQ(
        0u,
        WrittenNode<std::wostringstream>(item, false).find(L"<q:item xmlns:q='urn:x'><q:sub/>"));
}

TEST_F(CmlWriterFiles, SerializeNodeToFileAndCopyDOMNode) {
    CCmlDOM_Document doc = Parse(kTree);
    const CCmlDOM_Element root = doc.getDocumentElement();

    const fs::path file = m_dir / "n" / "node.xml";
    XmlUtils::SerializeNode(root, file.c_str(), false);
    EXPECT_EQ(zavToolsLib::ToUtf8(WrittenNode<std::wostringstream>(root, false)), ReadFile(file));
    ExpectCmlError([&] { XmlUtils::SerializeNode(root, static_cast<const char*>(nullptr)); },
                   L"Serializing formatted content", L"NULL pointer received", 0xC7210003u);

    EXPECT_TRUE(XmlUtils::CopyDOMNode(CCmlDOM_Node()).IsNull());

    const CCmlDOM_Node child = root.getFirstChild().getNextSibling();
    CCmlDOM_Element copy = XmlUtils::CopyDOMNode(child);
    ASSERT_FALSE(copy.IsNull());
    CCmlDOM_Document copyDoc = copy.getOwnerDocument();
    EXPECT_NE(doc.GetDOMNode(), copyDoc.GetDOMNode());
    EXPECT_TRUE(copyDoc.getDocumentElement().isSameNode(copy));
    // Standing alone, the copy declares its namespace.
    EXPECT_EQ(L"<p:child xmlns:p='urn:a'>caf\u00e9 &lt;&gt; \U0001F600</p:child>",
              WrittenNode<std::wostringstream>(copy, false));
    copy.setAttribute(L"added", L"1");
    EXPECT_FALSE(CCmlDOM_Element(static_cast<xercesc::DOMElement*>(child.GetDOMNode()))
                     .hasAttribute(L"added"));
    copyDoc.release();
}
