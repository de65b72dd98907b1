#include "cml/CmlMessage.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cml/CmlClassFactory.h"
#include "cml/CmlDOM.h"
#include "cml/CmlParser.h"
#include "cml/CmlTestSupport.h"
#include "cml/CmlWriter.h"
#include "zavToolsLib/CZavCodecvt.h"
#include "zavToolsLib/ConvertUTF.h"

namespace zav::cml {
namespace {

using test::Bytes;
using test::ExpectCmlError;
using test::Lines;
using test::Parse;

const std::wstring BASE = NAMESPACE_BASE;
const std::wstring kTestNs = BASE + L"/cml/Message/TestMessages";

// A request with an escaped free-text attribute and an element of content.
class CTestRequest : public CCmlRequest {
public:
    CTestRequest() : CCmlRequest(L"test-request", kTestNs, L"1.0.0") {}
    CCmlDocumentBase* Clone() const override { return new CTestRequest(*this); }
    uint32_t GetChildElementCount() const override { return m_strNote.empty() ? 0 : 1; }
    void Deserialize(const CCmlDOM_Element& element) override {
        CCmlRequest::Deserialize(element);
        m_strLabel = element.getAttribute(L"label");
        const CCmlDOM_NodeList notes = element.getElementsByTagName(L"note");
        m_strNote = notes.getLength() != 0 ? notes.item(0).getTextContent() : L"";
    }
    void SerializeAttributes(std::wostream& os) const override { Attributes(os); }
    void SerializeAttributes(std::ostream& os) const override { Attributes(os); }
    int SerializeContent(std::wostream& os, uint32_t level) const override {
        return Content(os, level);
    }
    int SerializeContent(std::ostream& os, uint32_t level) const override {
        return Content(os, level);
    }

    std::wstring m_strLabel;
    std::wstring m_strNote;

private:
    template <class S>
    void Attributes(S& os) const {
        CCmlRequest::SerializeAttributes(os);
        if (!m_strLabel.empty()) WriteEscapedAttribute(os, L"label", m_strLabel);
    }
    template <class S>
    int Content(S& os, uint32_t level) const {
        if (m_strNote.empty()) return 0;
        WriteTextElement(os, level, L"note", m_strNote);
        return 1;
    }
};

class CTestResponse : public CCmlResponse {
public:
    CTestResponse() : CCmlResponse(L"test-response", kTestNs, L"1.0.0") {}
    CCmlDocumentBase* Clone() const override { return new CTestResponse(*this); }
};

class CmlMessageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CCmlClassFactory* factory = GetGlobalClassFactory();
        RegisterCmlMessage(factory);
        const CTestRequest request;
        const CTestResponse response;
        RegisterDocument(factory, kTestNs.c_str(), L"1.0.0", L"test-request", &request);
        RegisterDocument(factory, kTestNs.c_str(), L"1.0.0", L"test-response", &response);
    }

    static CCmlMessage MakeMessage() {
        CAgentInfo source(BASE + L"/agents", L"probe", L"10.1.2.3", L"host-1",
                          L"6ba7b810-9dad-11d1-80b4-00c04fd430c8", L"", L"");
        CCmlMessage message(source, L"0f8fad5b-d9cb-469f-a165-70867728950e");
        auto request = std::make_unique<CTestRequest>();
        request->SetRequestId(L"7c9e6679-7425-40de-944b-e07fc1f90ae7");
        request->SetNeedReply(false);
        request->m_strLabel = L"it's <a> \"test\" & more\nline";
        request->m_strNote = L"a < b & 'c' \"d\"\nnext";
        message.AddRequest(std::move(request));
        return message;
    }

    static std::string Narrow(const CCmlDocumentBase& doc) {
        std::ostringstream os;
        doc.Serialize(os);
        return os.str();
    }

    static std::unique_ptr<CCmlMessage> Read(const std::string& xml,
                                             int lookupMode = CML_LOOKUP_MATCH) {
        std::unique_ptr<CCmlDocumentBase> doc =
            DeserializeBuffer(Bytes(xml), xml.size(), CML_DONT_VALIDATE, nullptr, L"", lookupMode);
        auto* message = dynamic_cast<CCmlMessage*>(doc.get());
        if (message != nullptr) doc.release();
        return std::unique_ptr<CCmlMessage>(message);
    }

    // A document around an envelope body, for the reader's failure and skip rules.
    static std::string Document(const std::string& cml) {
        return "<zav xmlns='http://schemas.zav.example.org' schema-version='1.0.1'>" + cml +
               "</zav>";
    }
};

TEST_F(CmlMessageTest, WritesTheDocumentAndReadsItBack) {
    const CCmlMessage message = MakeMessage();
    const std::string written = Narrow(message);
    const std::vector<std::string> expected = {
        "<?xml version='1.0' encoding='UTF-8' standalone='no'?>",
        "<zav xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance'",
        "    xsi:schemaLocation='http://schemas.zav.example.org ./schemas/Zav1_0_1.xsd",
        "    http://schemas.zav.example.org/cml/Message ./schemas/cml/Message/Message1_0_0.xsd",
        "    http://schemas.zav.example.org/cml/Message/TestMessages "
        "./schemas/cml/Message/TestMessages/TestMessages1_0_0.xsd'",
        "    xmlns='http://schemas.zav.example.org' schema-version='1.0.1'>",
        "    <cml xmlns='http://schemas.zav.example.org/cml/Message' schema-version='1.0.0'>",
        "        <message-envelope broadcast='false' "
        "message-id='0f8fad5b-d9cb-469f-a165-70867728950e'>",
        "            <source name='probe' namespace='http://schemas.zav.example.org/agents' "
        "ip-address='10.1.2.3' host-name='host-1' "
        "agent-id='6ba7b810-9dad-11d1-80b4-00c04fd430c8'/>",
        "            <message-body>",
        "                <request>",
        "                    <test-request "
        "xmlns='http://schemas.zav.example.org/cml/Message/TestMessages' schema-version='1.0.0' "
        "request-id='7c9e6679-7425-40de-944b-e07fc1f90ae7' need-reply='false' "
        "label='it&apos;s &lt;a&gt; &quot;test&quot; &amp; more&#xa;line'>",
        "                        <note>a &lt; b &amp; &apos;c&apos; &quot;d&quot;",
        "next</note>",
        "                    </test-request>",
        "                </request>",
        "            </message-body>",
        "        </message-envelope>",
        "    </cml>",
        "</zav>"};
    const std::vector<std::string> lines = Lines(written);
    ASSERT_EQ(expected.size(), lines.size()) << written;
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(expected[i], lines[i]) << "line " << i;
    EXPECT_EQ('\n', written.back());

    std::unique_ptr<CCmlMessage> read = Read(written);
    ASSERT_NE(nullptr, read);
    EXPECT_EQ(L"0f8fad5b-d9cb-469f-a165-70867728950e", read->GetMessageId());
    EXPECT_EQ(L"probe", read->GetSource().GetName());
    EXPECT_EQ(L"source", read->GetSource().GetElementName());
    ASSERT_EQ(1u, read->GetRequests().size());
    const auto* request = dynamic_cast<const CTestRequest*>(read->GetRequests()[0].get());
    ASSERT_NE(nullptr, request);
    EXPECT_FALSE(request->GetNeedReply());
    EXPECT_EQ(L"7c9e6679-7425-40de-944b-e07fc1f90ae7", request->GetRequestId());
    EXPECT_EQ(L"it's <a> \"test\" & more\nline", request->m_strLabel);
    EXPECT_EQ(L"a < b & 'c' \"d\"\nnext", request->m_strNote);
    // Everything else the message holds shows in its text.
    EXPECT_EQ(written, Narrow(*read));

    // Wide forms: a string stream declares UCS4 and otherwise writes the same characters; a
    // wide file stream with the UTF-8 facet writes the same bytes.
    std::wostringstream wide;
    message.Serialize(wide);
    const std::vector<std::string> wideLines = Lines(zavToolsLib::ToUtf8(wide.str()));
    ASSERT_EQ(lines.size(), wideLines.size());
    EXPECT_EQ("<?xml version='1.0' encoding='UCS4' standalone='no'?>", wideLines[0]);
    for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i], wideLines[i]);

    char path[] = "/tmp/cmlmessageXXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_NE(-1, fd);
    ::close(fd);
    {
        std::wofstream file;
        file.imbue(zavToolsLib::CZavCodecvt::MakeLocale(file.getloc()));
        file.open(path);
        message.Serialize(file);
    }
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(written, std::string(std::istreambuf_iterator<char>(in), {}));
    std::remove(path);
}

TEST_F(CmlMessageTest, NonAsciiTextSurvivesTheRoundTrip) {
    const std::wstring name = L"Agent caf\u00e9 \u4e2d \U0001F600";
    CCmlMessage message(CAgentInfo(BASE + L"/agents", name, L"", L"h\u00f4te", L"", L"", L""),
                        L"id");
    auto request = std::make_unique<CTestRequest>();
    request->m_strNote = L"\u4e2d\U0001F600";
    message.AddRequest(std::move(request));
    const std::string written = Narrow(message);
    EXPECT_NE(std::string::npos,
              written.find("name='Agent caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80'"));

    std::unique_ptr<CCmlMessage> read = Read(written);
    ASSERT_NE(nullptr, read);
    EXPECT_EQ(name, read->GetSource().GetName());
    EXPECT_EQ(L"h\u00f4te", read->GetSource().GetHostName());
    EXPECT_EQ(L"\u4e2d\U0001F600",
              dynamic_cast<const CTestRequest&>(*read->GetRequests()[0]).m_strNote);
    EXPECT_EQ(written, Narrow(*read));
}

TEST_F(CmlMessageTest, EnvelopeAttributesAndDefaults) {
    CAgentInfo destination;
    destination.SetNamespace(BASE + L"/servers");
    CCmlMessage message(CAgentInfo(), L"", &destination, true, L"prev-id");
    auto response = std::make_unique<CTestResponse>();
    response->SetText(L"done & dusted");
    message.AddResponse(std::move(response));
    message.AddRequest(std::make_unique<CTestRequest>());
    std::string written = Narrow(message);
    EXPECT_NE(std::string::npos,
              written.find("<message-envelope broadcast='true' message-id='' "
                           "response-to='prev-id'>\n            <source/>\n"
                           "            <destination namespace='http://schemas.zav.example.org/"
                           "servers'/>\n"));
    // need reply true and code 0 are the values a reader assumes: not written.
    EXPECT_EQ(std::string::npos, written.find("need-reply"));
    EXPECT_EQ(std::string::npos, written.find("code="));
    EXPECT_NE(std::string::npos, written.find("text='done &amp; dusted'"));
    std::unique_ptr<CCmlMessage> read = Read(written);
    ASSERT_NE(nullptr, read);
    EXPECT_TRUE(read->GetBroadcast());
    EXPECT_EQ(L"prev-id", read->GetResponseTo());
    ASSERT_EQ(1u, read->GetDestinations().size());
    EXPECT_EQ(L"destination", read->GetDestinations()[0].GetElementName());
    EXPECT_TRUE(read->GetRequests()[0]->GetNeedReply());
    EXPECT_EQ(0u, read->GetResponses()[0]->GetCode());
    EXPECT_EQ(L"done & dusted", read->GetResponses()[0]->GetText());

    const bool previous = SetSerializeDefaults(true);
    written = Narrow(message);
    SetSerializeDefaults(previous);
    EXPECT_NE(std::string::npos, written.find("need-reply='true'"));
    EXPECT_NE(std::string::npos, written.find("code='0x0'"));

    // An empty message keeps the body's tags on adjacent lines.
    EXPECT_NE(std::string::npos,
              Narrow(CCmlMessage()).find("<message-body>\n            </message-body>\n"));
}

TEST_F(CmlMessageTest, ReadsAttributeValuesAsDocumented) {
    const auto body = [](const std::string& envelopeAttrs, const std::string& items) {
        return Document(
            "<cml xmlns='http://schemas.zav.example.org/cml/Message' schema-version='1.0.0'>"
            "<message-envelope " +
            envelopeAttrs + "><source xmlns='urn:foreign' name='ignored'/><message-body>" + items +
            "</message-body></message-envelope></cml>");
    };
    const std::string ns =
        "xmlns='http://schemas.zav.example.org/cml/Message/TestMessages' "
        "schema-version='1.0.0'";
    std::unique_ptr<CCmlMessage> read =
        Read(body("broadcast='TRUE' message-id='m'",
                  "<request><test-request " + ns +
                      " need-reply='TRUE'/><other xmlns='urn:x'/>"
                      "<test-request " +
                      ns +
                      " need-reply='false'/></request>"
                      "<response><test-response " +
                      ns + " code='0x1F'/><test-response " + ns + " code='31'/><test-response " +
                      ns + " code='037'/><test-response " + ns + " code='zz'/></response>"));
    ASSERT_NE(nullptr, read);
    EXPECT_FALSE(read->GetBroadcast());
    EXPECT_EQ(L"", read->GetSource().GetName());  // a source in a foreign namespace is ignored
    ASSERT_EQ(2u, read->GetRequests().size());    // the unknown element is skipped
    EXPECT_TRUE(read->GetRequests()[0]->GetNeedReply());
    EXPECT_FALSE(read->GetRequests()[1]->GetNeedReply());
    ASSERT_EQ(4u, read->GetResponses().size());
    for (int i = 0; i < 3; ++i) EXPECT_EQ(31u, read->GetResponses()[i]->GetCode()) << i;
    EXPECT_EQ(0u, read->GetResponses()[3]->GetCode());
}

TEST_F(CmlMessageTest, ReadingFailures) {
    const auto deserialize = [](const std::string& xml) {
        CCmlParser parser;
        Parse(parser, xml, CML_DONT_VALIDATE);
        CCmlMessage message;
        message.Deserialize(parser.GetDocumentElement());
    };
    const std::wstring parsing = L"Parsing compound message";
    ExpectCmlError([&] { deserialize(Document("<other/>")); }, parsing, L"Missing \"cml\" element",
                   0xC7380005);
    // A cml element outside the two cml namespaces counts as missing.
    ExpectCmlError([&] { deserialize(Document("<cml xmlns='urn:x'/>")); }, parsing,
                   L"Missing \"cml\" element", 0xC7380005);
    ExpectCmlError(
        [&] { deserialize(Document("<cml xmlns='http://schemas.zav.example.org/cml'/>")); },
        parsing, L"Missing \"message-envelope\" element", 0xC7380005);
    ExpectCmlError(
        [&] {
            deserialize(Document(
                "<cml xmlns='http://schemas.zav.example.org/cml/Message'><message-envelope>"
                "<message-body><request><test-response "
                "xmlns='http://schemas.zav.example.org/cml/Message/TestMessages' "
                "schema-version='1.0.0'/></request></message-body></message-envelope></cml>"));
        },
        L"Error deserializing CML request", L"Document is not a message", 0xC7210005);
    const std::string foreign = "<zav xmlns='urn:foreign'/>";
    ExpectCmlError([&] { deserialize(foreign); }, L"Processing standard document attributes",
                   L"Unrecognized namespace urn:foreign", 0xC738000A);
    // Through the factory a foreign root is simply not a known document.
    EXPECT_EQ(nullptr, Read(foreign));
    ExpectCmlError([] { Read("<zav xmlns='http://schemas.zav.example.org'>\n<cml>\n</zav>"); },
                   L"Parse operation",
                   L"Fatal error parsing input \"ZAV CML Stream\", line 3, column 3\n"
                   L"   Message: expected end of tag 'cml'",
                   0xC7380003);
    ExpectCmlError([] { CCmlMessage().Deserialize(CCmlDOM_Element()); },
                   L"Deserializing compound message", L"Null element received", 0xC738000F);
    ExpectCmlError([] { CCmlMessage().AddRequest(static_cast<CCmlRequest*>(nullptr)); },
                   L"Adding request to message vector", L"Internal error: invalid parameter",
                   0xC7210003);
}

TEST_F(CmlMessageTest, CopiesNamespacesAndLegacyForm) {
    CCmlMessage message = MakeMessage();
    const std::string original = Narrow(message);
    std::unique_ptr<CCmlDocumentBase> clone(message.Clone());
    CCmlMessage copy(message);
    CCmlMessage assigned;
    assigned = message;
    dynamic_cast<CTestRequest&>(*message.GetRequests()[0]).m_strNote = L"changed";
    for (const CCmlDocumentBase* doc : {static_cast<CCmlDocumentBase*>(&copy), clone.get(),
                                        static_cast<CCmlDocumentBase*>(&assigned)}) {
        EXPECT_EQ(original, Narrow(*doc));
    }

    // A second request declaring another version of the same namespace: nothing is written.
    auto other = std::make_unique<CTestRequest>();
    other->SetDocumentSchemaVersion(L"1.0.3");
    message.AddRequest(std::move(other));
    std::ostringstream os;
    ExpectCmlError([&] { message.Serialize(os); }, L"Constructing document namespace object",
                   L"Namespace/schema-version conflict among descendant elements:  tried to add "
                   L"namespace \"" +
                       kTestNs + L"\" version 1.0.3; set already contains namespace \"" + kTestNs +
                       L"\" version 1.0.0",
                   0xC738000E);
    EXPECT_TRUE(os.str().empty());

    // The legacy message version moves the cml element into base + /cml, and ApplyLegacySchema
    // the body with it.
    copy.SetDocumentSchemaVersion(L"1.0.0");
    copy.ApplyLegacySchema();
    const CCmlRequest& moved = *copy.GetRequests()[0];
    EXPECT_EQ(BASE + L"/cml", moved.GetNamespace());
    EXPECT_EQ(L"2.4.1", moved.GetSchemaVersion());
    EXPECT_EQ(L"2.4.1", moved.GetDocumentSchemaVersion());
    CCmlMessage legacyMessage;
    legacyMessage.SetDocumentSchemaVersion(L"1.0.0");
    const std::string legacy = Narrow(legacyMessage);
    EXPECT_NE(std::string::npos,
              legacy.find("schema-version='1.0.0'>\n    <cml xmlns='http://schemas.zav.example.org/"
                          "cml' schema-version='2.4.2'>"));
    // Read back under the legacy registration, the message keeps the legacy form; the version
    // matching rule would pick the current registration.
    std::unique_ptr<CCmlMessage> read = Read(legacy, CML_LOOKUP_EXACT);
    ASSERT_NE(nullptr, read);
    EXPECT_EQ(legacy, Narrow(*read));
    EXPECT_EQ(L"1.0.1", Read(legacy)->GetDocumentSchemaVersion());
}

}  // namespace
}  // namespace zav::cml
