// Exhausted retries and answers that cannot be used; the back-off and the fail-over to the next
// server are the services tests'.
#include <fstream>
#include <string>
#include <vector>

#include "IntegrationTest.h"

namespace eqit {
namespace {

constexpr uint32_t kConnectFailed = 0xC7590006u;  // the component's "connection refused"
const std::string kRefused = "Error(" + Hex(kConnectFailed) + ",1)";

class FailureTest : public CIntegrationTest {};

// The header's list of statuses that end a query, against what the library did: each error of
// one query but the last was followed by another attempt, the last ended it.
void ExpectOnlyTheLastEnds(const std::vector<std::string>& errors) {
    std::vector<bool> ends, expected(errors.size(), false);
    for (const std::string& error : errors) {
        ends.push_back(EQ_STATUS_ENDS_QUERY(std::stoul(error.substr(6), nullptr, 16)));
    }
    expected.back() = true;
    EXPECT_EQ(expected, ends) << ::testing::PrintToString(errors);
}

// retryInterval = 0 used to make every refused post follow the previous one at once (thousands a
// second). The dispatch thread traces every wait, so counting the waits of 0 ms shows the loop
// without timing anything.
TEST_F(FailureTest, ExhaustedRetriesAreReportedUntilResetToPrimary) {
    CRefusingPort down;
    Start({down.Url()},
          "retryInterval = 0\nretryCeiling = 0\nmaxServerRetry = 3\nretryServerLoop = false\n");
    EXPECT_EQ(1u, CJournal::Get().CountTrace(
                      "zavServices::RetrieveSettingInRange(): Setting [event_query_services] "
                      "retryInterval = '0' is below 100..86400000; using 100"));
    const EqApi& eq = Eq();
    const std::string exhausted = "Error(" + Hex(EQ_I_RETRIES_EXHAUSTED) + ",1)";
    ASSERT_EQ(0u, eq.EQ_QueryVulnsByAddress(kStart, kEnd, "10.0.0.1", 0, 1, 5));
    ASSERT_TRUE(WaitForEvents(exhausted));
    EXPECT_EQ((std::vector<std::string>{kRefused, kRefused, kRefused, exhausted}), Events());
    ExpectOnlyTheLastEnds(Events());
    // One error line per failed attempt.
    EXPECT_EQ(3u, CJournal::Get().CountTrace("CEventQueryServices::SendPendingData: Event Query "
                                             "Services library failed to post data to Event "
                                             "Query Server: status(" +
                                             std::to_string(kConnectFailed) + ")"));
    // Each failure but the last has set the wait before the next attempt; only the first send,
    // of data queued while idle, may go without one.
    const std::string wait =
        "CBaseServices::_DispatchThread(): Waiting on dispatch event with timeout = ";
    EXPECT_GE(CJournal::Get().CountTrace(wait + "100"), 2u);
    EXPECT_LE(CJournal::Get().CountTrace(wait + "0"), 1u);

    // The request stays queued: new queries are refused until the primary is tried again.
    EXPECT_EQ(Hex(EQ_E_QUERY_OUTSTANDING),
              Hex(eq.EQ_QueryObservancesByAddress(kStart, kEnd, "10.0.0.2", 0, nullptr, 0, 1, 6)));
    down.Close();
    CEventQueryTestServer server(&TwoItemAnswer, down.Port());
    CJournal::Get().ClearEvents();
    ASSERT_EQ(0u, eq.EQ_ResetToPrimaryController());
    ASSERT_TRUE(WaitForEvents("EndSet("));
    EXPECT_EQ(TwoItemSequence(5), Events());
    const std::vector<PostedRequest> posts = server.Posts();
    ASSERT_EQ(1u, posts.size());
    EXPECT_TRUE(HasFields(posts[0], "address-range=10.0.0.1|10.0.0.1|ipv4"));
    EXPECT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 7));
    EXPECT_TRUE(WaitForEvents("EndSet(7)"));
}

// An unusable answer, and one over the comm settings' limit (not fetched again), end their query:
// the request is dropped, and the next query is taken at once and answered. Only a real document
// type declaration is refused, whatever bytes a comment or a processing instruction holds.
TEST_F(FailureTest, UnusableAnswersDropTheRequest) {
    CEventQueryTestServer server;
    WriteSettings({server.Url()});
    std::ofstream(m_commFile, std::ios::app) << "max_response_size = 4096\n";
    ASSERT_EQ(0u, Init());
    ASSERT_EQ(0u, RegisterAllCallbacks());
    const std::string label = "CEventQueryServices::SendPendingData";
    const std::string reset =
        ": Event Query Services library has encountered an inconsistent state, resetting state";
    const std::string parseFailed =
        "CEventQueryServices::ProcessResponse: parse failed with CML error. Exception: ";
    // The body, the status and the error lines it leaves: an empty one never reaches the parser.
    const struct {
        std::string body;
        uint32_t status;
        std::vector<std::string> lines;
    } cases[] = {
        {"", EQ_E_REQUEST_DROPPED, {label + "::postDataResponseCheck" + reset}},
        {"this is not XML",
         EQ_E_REQUEST_DROPPED,
         {parseFailed, label + "::postDataResponseProcessing" + reset}},
        {"<?xml version='1.0'?><inventory xmlns='urn:example:foreign'/>",
         EQ_E_REQUEST_DROPPED,
         {parseFailed + "Deserializing EventQueryServices message:  No document object is "
                        "registered for the input message.; error = 0xc7210005",
          label + "::postDataResponseProcessing" + reset}},
        {std::string(4097, ' '),
         EQ_E_RESPONSE_TOO_LARGE,
         {"SCS_PostData: POST to ",
          label + ": The answer of the Event Query Server exceeds max_response_size"}},
    };
    uint32_t cd = 20;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body.substr(0, 40));
        server.SetResponder([&c](const PostedRequest&) { return Reply{200, c.body}; });
        CJournal::Get().Clear();
        ASSERT_EQ(0u, Eq().EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, ++cd));
        ASSERT_TRUE(WaitForEvents("Error(") && CJournal::Get().WaitForTrace(c.lines.back()));
        EXPECT_EQ(std::vector<std::string>{"Error(" + Hex(c.status) + ",1)"}, Events());
        ExpectOnlyTheLastEnds(Events());
        const std::vector<std::string> lines = CJournal::Get().ErrorLines();
        ASSERT_EQ(c.lines.size(), lines.size()) << ::testing::PrintToString(lines);
        for (size_t l = 0; l < lines.size(); ++l) EXPECT_EQ(0u, lines[l].rfind(c.lines[l], 0));
        EXPECT_EQ(cd - 20, server.Posts().size());  // dropped, not resent
    }
    server.SetResponder([](const PostedRequest& posted) {
        Reply reply = TwoItemAnswer(posted);
        // After the XML declaration.
        reply.body.insert(reply.body.find("?>") + 2,
                          "<!-- <!DOCTYPE r [<!ENTITY e 'x'>]> --><?note <!DOCTYPE r>?>");
        return reply;
    });
    CJournal::Get().Clear();
    ASSERT_EQ(0u, Eq().EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 3));
    ASSERT_TRUE(WaitForEvents("EndSet(3)"));
    EXPECT_EQ(TwoItemSequence(3), Events());
}

}  // namespace
}  // namespace eqit
