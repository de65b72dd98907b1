#include "cml/CmlParser.h"

#include <xercesc/dom/DOMNode.hpp>

#include <functional>

#include "cml/CmlTestSupport.h"
#include "cml/EventQueryMessages/EventQueryMessages.h"
#include "zavToolsLib/ConvertUTF.h"

namespace zav::cml {
namespace {

namespace fs = std::filesystem;
using namespace test;

const std::wstring BASE = NAMESPACE_BASE;
const std::wstring CML_MESSAGE_NS = BASE + L"/cml/Message";

// A message as the library writes it, valid against the schemas under schemas/ (which fix both
// schema-versions) until the versions are changed; without its own schema locations, so that
// only the parser's folder decides where schemas come from.
std::string Doc(const std::string& rootVersion, const std::string& cmlVersion = "1.0.0") {
    std::string xml = Narrow(CCmlMessage(Source(), MESSAGE_ID));
    const std::size_t hints = xml.find("xsi:schemaLocation='");
    xml.erase(hints, xml.find('\'', hints + 20) + 1 - hints);
    xml.replace(xml.find("schema-version='1.0.1'"), 22, "schema-version='" + rootVersion + "'");
    xml.replace(xml.find("schema-version='1.0.0'"), 22, "schema-version='" + cmlVersion + "'");
    return xml;
}

class CmlParserSchemas : public ::testing::Test {
protected:
    void SetUp() override {
        m_parser.AddNamespace(BASE, L"1.0.1");
        m_parser.AddNamespace(CML_MESSAGE_NS, L"1.0.0");
    }
    void TearDown() override { SetDefaultValidation(true); }
    static std::wstring Folder() {
        return zavToolsLib::FromUtf8(ZAV_TEST_SOURCE_DIR) + L"/schemas";
    }

    CCmlParser m_parser;
};

TEST_F(CmlParserSchemas, ValidatingParseExplainsIncompatibleVersions) {
    Parse(m_parser, Doc("1.0.1"), CML_VALIDATE, Folder());
    EXPECT_EQ(L"zav", m_parser.GetRootTagName());
    EXPECT_EQ(BASE, m_parser.GetRootNamespace());
    EXPECT_EQ(L"1.0.1", m_parser.GetRootSchemaVersion());

    // The cml element at a newer minor version is listed too; 1.0.0 under an expected 1.0.1 is
    // compatible.
    for (const auto& [root, cml, listed] :
         {std::make_tuple("1.0.2", "1.1.0",
                          BASE + L" 1.0.1 1.0.2;" + CML_MESSAGE_NS + L" 1.0.0 1.1.0;"),
          std::make_tuple("1.0.0", "1.0.0", std::wstring())}) {
        try {
            Parse(m_parser, Doc(root, cml), CML_VALIDATE, Folder());
            ADD_FAILURE() << "accepted " << root;
        } catch (const CSchemaException& e) {
            EXPECT_EQ(L"Parse operation", e.GetContext());
            EXPECT_EQ(0xC7380002u, e.GetCode());
            EXPECT_EQ(0u, e.GetMessage().rfind(L"Error parsing input \"ZAV CML Stream\", line ", 0))
                << zavToolsLib::ToUtf8(e.GetMessage());
            std::wstring found;
            for (const auto& i : e.GetIncompatibilities())
                found += i.GetNamespace() + L" " + i.GetExpectedVersion() + L" " +
                         i.GetFoundVersion() + L";";
            EXPECT_EQ(listed, found) << root;
        }
    }
}

TEST_F(CmlParserSchemas, ModeDecidesWhetherSchemasAreLoaded) {
    const std::string invalid = Doc("1.0.2");
    Parse(m_parser, invalid, CML_DONT_VALIDATE, Folder());
    // Mode 3 follows the parser's mode, and a parser in mode 3 the library default.
    EXPECT_TRUE(SetDefaultValidation(false));
    Parse(m_parser, invalid, CML_VALIDATE_DEFAULT, Folder());
    SetDefaultValidation(true);
    EXPECT_THROW(Parse(m_parser, invalid, CML_VALIDATE_DEFAULT, Folder()), CSchemaException);
    m_parser.SetValidationMode(CML_DONT_VALIDATE);
    Parse(m_parser, invalid, CML_VALIDATE_DEFAULT, Folder());
    // No folder anywhere: no external schema locations, nothing to validate against.
    Parse(m_parser, invalid, CML_VALIDATE, L"");
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

    const CTempDir dir;
    const fs::path path = dir.Path() / "file_\xC3\xA9.xml";
    std::ofstream(path) << "<zav xmlns='http://schemas.zav.example.org' schema-version='1.0.1'>"
                           "<cml xmlns='http://schemas.zav.example.org/cml/Message'>"
                           "<message-envelope message-id='from-file'/></cml></zav>";
    RegisterCmlMessage(GetGlobalClassFactory());
    const std::unique_ptr<CCmlDocumentBase> doc =
        DeserializeFile(zavToolsLib::FromUtf8(path.string()).c_str());
    ASSERT_NE(nullptr, dynamic_cast<const CCmlMessage*>(doc.get()));
    EXPECT_NE(std::string::npos, Narrow(*doc).find("message-id='from-file'"));
    EXPECT_THROW(parser.ParseFile((dir.Path() / "missing.xml").c_str(), CML_DONT_VALIDATE),
                 CCmlException);
}

// Documents parsed without validation come from the network: an entity naming a local file
// must not be expanded (refusing the document outright is as good).
TEST(CmlParserHardening, NonValidatingParseIgnoresExternalEntities) {
    const CTempDir dir;
    const std::string secret = (dir.Path() / "secret.txt").string();
    std::ofstream(secret) << "top secret";
    CCmlParser parser(CML_DONT_VALIDATE);
    std::string content;
    try {
        Parse(parser,
              "<?xml version='1.0'?><!DOCTYPE r [<!ENTITY x SYSTEM 'file://" + secret +
                  "'>]><r>&x;</r>",
              CML_DONT_VALIDATE);
        parser.GetDocumentElement().getTextContent(content);
    } catch (const CCmlException&) {
    }
    EXPECT_EQ(std::string::npos, content.find("secret"));
}

// Reading an answer, whitespace-only text in an element with child elements (indentation) makes
// no node; text with other characters, whitespace in an element without children and CDATA stay.
TEST(CmlParserHardening, BoundedReadKeepsTextButNotIndentation) {
    const CCmlReadLimits limits;
    CCmlParser parser(CML_DONT_VALIDATE);
    parser.SetReadLimits(&limits);
    Parse(
        parser,
        "<r>\n  <a> </a>\n  <b> x <i/> </b>\n  <c>\t<!--n--></c>\n  <d><![CDATA[ ]]><e/></d>\n</r>",
        CML_DONT_VALIDATE);
    std::wstring shape;
    std::function<void(const CCmlDOM_Node&)> walk = [&](const CCmlDOM_Node& node) {
        for (CCmlDOM_Node child = node.getFirstChild(); !child.IsNull();
             child = child.getNextSibling()) {
            if (child.getNodeType() == xercesc::DOMNode::ELEMENT_NODE) {
                shape += std::wstring(L"<") + child.getNodeName() + L">";
                walk(child);
                shape += L"</>";
            } else {
                shape += L"[" + std::wstring(child.getNodeValue()) + L"]";
            }
        }
    };
    walk(parser.GetDocumentElement());
    EXPECT_EQ(L"<a>[ ]</><b>[ x ]<i></></><c>[\t][n]</><d>[ ]<e></></>", shape);
}

// An answer in a message of its own: body is the message body's content.
std::string Message(const std::string& body, const std::string& frame = "") {
    return "<zav xmlns='http://schemas.zav.example.org' schema-version='1.0.1'><cml "
           "xmlns='http://schemas.zav.example.org/cml/Message' schema-version='1.0.0'>"
           "<message-envelope message-id='m'>" +
           frame + "<message-body>" + body + "</message-body></message-envelope></cml></zav>";
}
std::string Response(const std::string& id, const std::string& items) {
    return "<response xmlns='http://schemas.zav.example.org/cml/Message'>"
           "<get-vulnerabilities-response xmlns='http://schemas.zav.example.org/cml/"
           "Message/EventQueryMessages' schema-version='1.0.0' request-id='" +
           id + "'>" + items + "</get-vulnerabilities-response></response>";
}

// A bounded read builds no extension content, takes items and pairs from their start tags, reads
// plain items early (before the ones that stay in the tree) and drops empty blocks; it must read
// what reading the whole tree reads: the same items in the same order, the same blocks.
TEST(CmlParserHardening, BoundedReadReadsWhatTheWholeTreeReads) {
    RegisterCmlMessage(GetGlobalClassFactory());
    RegisterEventQueryMessages(GetGlobalClassFactory());
    const std::string ext = "<x:e xmlns:x='urn:v'>",
                      inner = Response("in", "<vulnerability-item/>");
    std::string tree;  // far over the budget below if it were built
    for (int i = 0; i < 300000; ++i) tree += "<a b=''/>";
    const std::string group =
        "<agent-group xmlns='http://schemas.zav.example.org/cml/"
        "CommonDocuments/Property' name='g'>" +
        ext + "</x:e></agent-group>";
    // The envelope: its source and destination, groups among extension content.
    const std::string frame = "<source name='s'>" + ext + tree + "</x:e>" + group +
                              "<agent-group name='not-read'/></source>" + ext +
                              "</x:e><destination agent-id='d'>" + group + "</destination>";
    const auto item = [](int id, const std::string& inside) {
        return "<vulnerability-item result-id='v" + std::to_string(id) + "'>" + inside +
               "<result-data name='n' value='" + std::to_string(id) + "'/></vulnerability-item>";
    };
    const std::pair<std::string, std::string> rows[] = {
        {"",
         Response("r", item(1, "") + item(2, "") + item(3, "<u/>") + item(4, "") + item(5, ""))},
        // A response block inside an item is still found, and read as a block of its own.
        {"", Response("r", item(1, "") + item(2, inner) + item(3, ""))},
        {"",
         ext + "<x:f>" + inner + "</x:f></x:e>" +
             Response("r", ext + "</x:e><eq:vulnerability-item xmlns:eq='" +
                               zavToolsLib::ToUtf8(CML_NS_EVENT_QUERY_MESSAGES) +
                               "' result-id='1' a=''><result-data name='n' value='v'>" + ext +
                               inner + "</x:e></result-data>" + ext +
                               "<result-data name='no'/></x:e><result-data value='w'/>"
                               "</eq:vulnerability-item><observance-item/><vulnerability-item/>")},
        {"",
         "<response/><response><request/>t<response></response></response>" + Response("r", "")},
        {frame, Response("r", "")},
    };
    for (const auto& [envelope, body] : rows) {
        const std::string xml = Message(body, envelope);
        CCmlReadLimits limits;
        limits.uMemoryFactor = 1;
        const std::unique_ptr<CCmlDocumentBase> whole = DeserializeBuffer(Bytes(xml), xml.size());
        const std::unique_ptr<CCmlDocumentBase> bounded =
            DeserializeBuffer(Bytes(xml), xml.size(), limits);
        ASSERT_TRUE(whole && bounded);
        EXPECT_EQ(Narrow(*whole), Narrow(*bounded)) << body;
        EXPECT_NE(std::string::npos, Narrow(*bounded).find("request-id='r'"));
    }
}

// A tree too big for its budget, and one item of pairs too many for it: refused, also the second
// time (a parser that was refused memory never parses again).
TEST(CmlParserHardening, AnswersOverTheMemoryBudgetAreRefusedEachTime) {
    RegisterEventQueryMessages(GetGlobalClassFactory());
    CCmlReadLimits limits;
    limits.uMemoryFactor = 1;
    std::string tree, pairs;
    for (int i = 0; i < 300000; ++i) tree += "<a b=''/>";
    // Enough pairs to cross the budget on 32-bit too, where a pair costs least.
    for (int i = 0; i < 2000000; ++i) pairs += "<result-data/>";
    for (const std::string& xml :
         {"<r>" + tree + "</r>",
          Message(Response("r", "<vulnerability-item>" + pairs + "</vulnerability-item>"))}) {
        for (int run = 0; run < 2; ++run) {
            try {
                DeserializeBuffer(Bytes(xml), xml.size(), limits);
                ADD_FAILURE() << "read " << xml.size() << " bytes";
            } catch (const CCmlException& e) {
                EXPECT_EQ(CML_E_LIMIT_EXCEEDED, e.GetCode());
            }
        }
    }
}

}  // namespace
}  // namespace zav::cml
