#include "cml/CmlMessage.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "cml/CmlClassFactory.h"
#include "cml/CmlDOM.h"
#include "cml/CmlParser.h"
#include "cml/CmlTestSupport.h"
#include "cml/CmlWriter.h"

namespace zav::cml {
namespace {

using namespace test;

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

    static CCmlMessage MakeMessage(const std::wstring& label, const std::wstring& note) {
        CCmlMessage message(Source(), MESSAGE_ID);
        auto request = std::make_unique<CTestRequest>();
        request->SetRequestId(L"7c9e6679-7425-40de-944b-e07fc1f90ae7");
        request->SetNeedReply(false);
        request->m_strLabel = label;
        request->m_strNote = note;
        message.AddRequest(std::move(request));
        return message;
    }

    static const CTestRequest& FirstRequest(const CCmlMessage& message) {
        return dynamic_cast<const CTestRequest&>(*message.GetRequests().at(0));
    }

    // A document around an envelope body, for the reader's failure and skip rules.
    static std::string Document(const std::string& cml) {
        return "<zav xmlns='http://schemas.zav.example.org' schema-version='1.0.1'>" + cml +
               "</zav>";
    }
};

TEST_F(CmlMessageTest, WritesTheDocumentAndReadsItBack) {
    const std::wstring label = L"it's <a> \"test\" & more\nline caf\u00e9 \u4e2d \U0001F600";
    const CCmlMessage message = MakeMessage(label, L"a < b & 'c' \"d\"\nnext");
    const std::string written = Narrow(message);
    ExpectLines(
        MessageLines(
            "http://schemas.zav.example.org/cml/Message/TestMessages "
            "./schemas/cml/Message/TestMessages/TestMessages1_0_0.xsd",
            {"                <request>",
             "                    <test-request "
             "xmlns='http://schemas.zav.example.org/cml/Message/TestMessages' "
             "schema-version='1.0.0' request-id='7c9e6679-7425-40de-944b-e07fc1f90ae7' "
             "need-reply='false' "
             "label='it&apos;s &lt;a&gt; &quot;test&quot; &amp; more&#xa;line "
             "caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80'>",
             "                        <note>a &lt; b &amp; &apos;c&apos; &quot;d&quot;",
             "next</note>", "                    </test-request>", "                </request>"}),
        written);

    std::unique_ptr<CCmlMessage> read = ReadMessage(written);
    ASSERT_NE(nullptr, read);
    EXPECT_EQ(label, FirstRequest(*read).m_strLabel);
    EXPECT_EQ(L"a < b & 'c' \"d\"\nnext", FirstRequest(*read).m_strNote);
    // Everything else the message holds shows in its text.
    EXPECT_EQ(written, Narrow(*read));
}

TEST_F(CmlMessageTest, EnvelopeAttributes) {
    CAgentInfo destination;
    destination.SetNamespace(BASE + L"/servers");
    CCmlMessage message(CAgentInfo(), L"", &destination, true, L"prev-id");
    message.AddResponse(std::make_unique<CTestResponse>());
    message.AddRequest(std::make_unique<CTestRequest>());
    const std::string written = Narrow(message);
    EXPECT_NE(std::string::npos,
              written.find("<message-envelope broadcast='true' message-id='' "
                           "response-to='prev-id'>\n            <source/>\n"
                           "            <destination namespace='http://schemas.zav.example.org/"
                           "servers'/>\n"));
    const std::unique_ptr<CCmlMessage> read = ReadMessage(written);
    ASSERT_NE(nullptr, read);
    EXPECT_EQ(written, Narrow(*read));
}

TEST_F(CmlMessageTest, ReadsAttributeValuesAsDocumented) {
    const std::string ns =
        " xmlns='http://schemas.zav.example.org/cml/Message/TestMessages' "
        "schema-version='1.0.0'";
    std::unique_ptr<CCmlMessage> read = ReadMessage(
        Document("<cml xmlns='http://schemas.zav.example.org/cml/Message' schema-version='1.0.0'>"
                 "<message-envelope broadcast='TRUE' message-id='m'><source xmlns='urn:foreign' "
                 "name='ignored'/><message-body><request><test-request" +
                 ns + " need-reply='TRUE'/><other xmlns='urn:x'/><test-request" + ns +
                 " need-reply='false'/></request><response><test-response" + ns +
                 " code='0x1F'/><test-response" + ns + " code='037'/><test-response" + ns +
                 " code='zz'/><test-response" + ns + " code='0x100000000'/><test-response" + ns +
                 " code='-4294967296'/></response></message-body></message-envelope></cml>"));
    ASSERT_NE(nullptr, read);
    EXPECT_FALSE(read->GetBroadcast());           // only "true" is true
    EXPECT_EQ(L"", read->GetSource().GetName());  // a source in a foreign namespace is ignored
    ASSERT_EQ(2u, read->GetRequests().size());    // the unknown element is skipped
    EXPECT_TRUE(read->GetRequests()[0]->GetNeedReply());
    EXPECT_FALSE(read->GetRequests()[1]->GetNeedReply());
    ASSERT_EQ(5u, read->GetResponses().size());
    EXPECT_EQ(31u, read->GetResponses()[0]->GetCode());
    EXPECT_EQ(31u, read->GetResponses()[1]->GetCode());
    EXPECT_EQ(0u, read->GetResponses()[2]->GetCode());
    // Beyond 32 bits either way: saturated, as a 32-bit unsigned long reads it, on every build.
    EXPECT_EQ(0xFFFFFFFFu, read->GetResponses()[3]->GetCode());
    EXPECT_EQ(0xFFFFFFFFu, read->GetResponses()[4]->GetCode());
}

TEST_F(CmlMessageTest, ReadingFailures) {
    const auto deserialize = [](const std::string& xml) {
        CCmlParser parser;
        Parse(parser, xml, CML_DONT_VALIDATE);
        CCmlMessage().Deserialize(parser.GetDocumentElement());
    };
    const wchar_t* parsing = L"Parsing compound message";
    const std::string foreign = "<zav xmlns='urn:foreign'/>";
    const struct {
        std::string xml;
        const wchar_t *context, *message;
        uint32_t code;
    } cases[] = {
        // A cml element outside the two cml namespaces counts as missing.
        {Document("<other/>"), parsing, L"Missing \"cml\" element", 0xC7380005},
        {Document("<cml xmlns='urn:x'/>"), parsing, L"Missing \"cml\" element", 0xC7380005},
        {Document("<cml xmlns='http://schemas.zav.example.org/cml'/>"), parsing,
         L"Missing \"message-envelope\" element", 0xC7380005},
        {Document("<cml xmlns='http://schemas.zav.example.org/cml/Message'><message-envelope>"
                  "<message-body><request><test-response "
                  "xmlns='http://schemas.zav.example.org/cml/Message/TestMessages' "
                  "schema-version='1.0.0'/></request></message-body></message-envelope></cml>"),
         L"Error deserializing CML request", L"Document is not a message", 0xC7210005},
        {foreign, L"Processing standard document attributes", L"Unrecognized namespace urn:foreign",
         0xC738000A},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        ExpectCmlError([&] { deserialize(c.xml); }, c.context, c.message, c.code);
    }
    // Through the factory a foreign root is simply not a known document.
    EXPECT_EQ(nullptr, ReadMessage(foreign));
    ExpectCmlError(
        [] { ReadMessage("<zav xmlns='http://schemas.zav.example.org'>\n<cml>\n</zav>"); },
        L"Parse operation",
        L"Fatal error parsing input \"ZAV CML Stream\", line 3, column 3\n"
        L"   Message: expected end of tag 'cml'",
        0xC7380003);
    ExpectCmlError([] { CCmlMessage().Deserialize(CCmlDOM_Element()); },
                   L"Deserializing compound message", L"Null element received", 0xC738000F);
}

TEST_F(CmlMessageTest, CopiesAndNamespaceConflicts) {
    CCmlMessage message = MakeMessage(L"label", L"note");
    const std::string original = Narrow(message);
    std::unique_ptr<CCmlDocumentBase> clone(message.Clone());
    CCmlMessage copy(message);
    CCmlMessage assigned;
    assigned = message;
    // Copies own their requests.
    dynamic_cast<CTestRequest&>(*message.GetRequests()[0]).m_strNote = L"changed";
    EXPECT_EQ(original, Narrow(copy));
    EXPECT_EQ(original, Narrow(*clone));
    EXPECT_EQ(original, Narrow(assigned));

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
}

}  // namespace
}  // namespace zav::cml
