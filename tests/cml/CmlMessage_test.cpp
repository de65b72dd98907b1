#include "cml/CmlMessage.h"

#include "cml/CmlClassFactory.h"
#include "cml/CmlDOM.h"
#include "cml/CmlTestSupport.h"
#include "cml/EventQueryMessages/EventQueryMessages.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesByGroupRequest.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesResponse.h"

namespace zav::cml {
namespace {

using namespace test;

const std::wstring BASE = NAMESPACE_BASE;

// The requests and responses are the event query vocabulary's; the compound message is what is
// under test.
class CmlMessageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        RegisterCmlMessage(GetGlobalClassFactory());
        RegisterEventQueryMessages(GetGlobalClassFactory());
    }
    // A document around an envelope body, for the reader's failure and skip rules.
    static std::string Document(const std::string& cml) {
        return "<zav xmlns='http://schemas.zav.example.org' schema-version='1.0.1'>" + cml +
               "</zav>";
    }
};

TEST_F(CmlMessageTest, EnvelopeIsWrittenAndReadBack) {
    CAgentInfo destination;
    destination.SetNamespace(BASE + L"/servers");
    CCmlMessage message(Source(), L"", &destination, true, L"prev-id");
    message.AddResponse(std::make_unique<CGetVulnerabilitiesResponse>(L"a"));
    message.AddRequest(std::make_unique<CGetVulnerabilitiesByGroupRequest>(L"q"));
    const std::string written = Narrow(message);
    EXPECT_NE(std::string::npos,
              written.find("<message-envelope broadcast='true' message-id='' "
                           "response-to='prev-id'>\n            <source name='probe' "
                           "namespace='http://schemas.zav.example.org/agents' "
                           "ip-address='10.1.2.3' host-name='host-1' "
                           "agent-id='6ba7b810-9dad-11d1-80b4-00c04fd430c8'/>\n"
                           "            <destination namespace='http://schemas.zav.example.org/"
                           "servers'/>\n"))
        << written;
    const std::unique_ptr<CCmlMessage> read = ReadMessage(written);
    ASSERT_NE(nullptr, read);
    EXPECT_EQ(written, Narrow(*read));
}

TEST_F(CmlMessageTest, ReadsAttributeValuesAsDocumented) {
    const std::string ns =
        " xmlns='http://schemas.zav.example.org/cml/Message/EventQueryMessages' "
        "schema-version='1.0.0'";
    const std::string request = "<get-vulnerabilities-by-group-request" + ns;
    const std::string response = "<get-vulnerabilities-response" + ns;
    std::unique_ptr<CCmlMessage> read = ReadMessage(Document(
        "<cml xmlns='http://schemas.zav.example.org/cml/Message' schema-version='1.0.0'>"
        "<message-envelope broadcast='TRUE' message-id='m'><source xmlns='urn:foreign' "
        "name='ignored'/><message-body><request>" +
        request + " need-reply='TRUE'/><other xmlns='urn:x'/>" + request +
        " need-reply='false'/></request><response>" + response + " code='0x1F'/>" + response +
        " code='037'/>" + response + " code='zz'/>" + response + " code='0x100000000'/>" +
        response + " code='-4294967296'/></response></message-body></message-envelope></cml>"));
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
                  "<message-body><request><get-vulnerabilities-response "
                  "xmlns='http://schemas.zav.example.org/cml/Message/EventQueryMessages' "
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
    CCmlMessage message(Source(), MESSAGE_ID);
    auto request = std::make_unique<CGetVulnerabilitiesByGroupRequest>(L"q");
    CGetVulnerabilitiesByGroupRequest& first = *request;
    request->SetGroupId(L"original");
    message.AddRequest(std::move(request));
    const std::string original = Narrow(message);
    std::unique_ptr<CCmlDocumentBase> clone(message.Clone());
    CCmlMessage copy(message);
    CCmlMessage assigned;
    assigned = message;
    // Copies own their requests.
    first.SetGroupId(L"changed");
    EXPECT_EQ(original, Narrow(copy));
    EXPECT_EQ(original, Narrow(*clone));
    EXPECT_EQ(original, Narrow(assigned));

    // A second request declaring another version of the same namespace: nothing is written.
    auto other = std::make_unique<CGetVulnerabilitiesByGroupRequest>(L"r");
    other->SetDocumentSchemaVersion(L"1.0.3");
    message.AddRequest(std::move(other));
    std::ostringstream os;
    const std::wstring ns = CML_NS_EVENT_QUERY_MESSAGES;
    ExpectCmlError([&] { message.Serialize(os); }, L"Constructing document namespace object",
                   L"Namespace/schema-version conflict among descendant elements:  tried to add "
                   L"namespace \"" +
                       ns + L"\" version 1.0.3; set already contains namespace \"" + ns +
                       L"\" version 1.0.0",
                   0xC738000E);
    EXPECT_TRUE(os.str().empty());
}

}  // namespace
}  // namespace zav::cml
