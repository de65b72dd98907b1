// Failed posts, fail-over, exhausted retries and answers that cannot be used.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "IntegrationTest.h"

namespace eqit {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr uint32_t kConnectFailed = 0xC7590006u;  // the component's "connection refused"
const std::string kRefused = "Error(" + Hex(kConnectFailed) + ",1)";

class FailureTest : public CIntegrationTest {};

TEST_F(FailureTest, RefusedConnectionIsReportedAndPostedAgainAfterTheBackOff) {
    CRefusingPort port;
    Start({port.Url()}, "retryInterval = 300\n");
    const steady_clock::time_point queued = steady_clock::now();
    ASSERT_EQ(0u, Eq().EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 3));
    ASSERT_TRUE(WaitForEvents("Error("));

    // The server comes up on the same port; the queued request goes out after the back-off.
    port.Close();
    CEventQueryTestServer server(port.Port(), &TwoItemAnswer);
    ASSERT_TRUE(WaitForEvents("EndSet("));
    const std::vector<std::string> events = Events();
    ASSERT_GE(events.size(), 9u);
    for (size_t i = 0; i + 8 < events.size(); ++i) EXPECT_EQ(kRefused, events[i]);
    EXPECT_EQ(TwoItemSequence(3), std::vector<std::string>(events.end() - 8, events.end()));
    // One error line per failed attempt.
    EXPECT_EQ(events.size() - 8,
              CJournal::Get().CountTrace(
                  EQ_TRACE_ERROR, "CEventQueryServices::SendPendingData",
                  "Event Query Services library failed to post data to Event Query Server: "
                  "status(" +
                      std::to_string(kConnectFailed) + ")"));
    ASSERT_EQ(1u, server.PostCount());
    EXPECT_GE(server.Posts()[0].at - queued, milliseconds(300));
    EXPECT_TRUE(HasFields(server.Posts()[0], {{"group-id", "g"}}));
}

TEST_F(FailureTest, FailsOverToTheSecondServer) {
    CRefusingPort down;
    CEventQueryTestServer up(&TwoItemAnswer);
    Start({down.Url(), up.Url()}, "retryInterval = 50\nmaxServerRetry = 1\n");
    ASSERT_EQ(0u, Eq().EQ_QueryObservancesByGroup(kStart, kEnd, "g", 0, nullptr, 0, 1, 4));
    ASSERT_TRUE(WaitForEvents("EndSet("));
    std::vector<std::string> expected = TwoItemSequence(4);
    expected.insert(expected.begin(), kRefused);
    EXPECT_EQ(expected, Events());
    EXPECT_EQ(1u, up.PostCount());
    EXPECT_EQ(1u, CJournal::Get().CountTrace(EQ_TRACE_DEBUG, "svcRetryState::NextState()",
                                             "Cannot retry failed server again. Attempts made: 1 "
                                             "of 1. Switching to next server: 1 of 2"));
}

TEST_F(FailureTest, ExhaustedRetriesAreReportedUntilResetToPrimary) {
    CRefusingPort down;
    Start({down.Url()}, "retryInterval = 20\nmaxServerRetry = 2\nretryServerLoop = false\n");
    const EqApi& eq = Eq();
    ASSERT_EQ(0u, eq.EQ_QueryVulnsByAddress(kStart, kEnd, "10.0.0.1", 0, 1, 5));
    ASSERT_TRUE(WaitForEvents("Error(" + Hex(EQ_I_RETRIES_EXHAUSTED) + ",1)"));
    EXPECT_EQ((std::vector<std::string>{kRefused, kRefused,
                                        "Error(" + Hex(EQ_I_RETRIES_EXHAUSTED) + ",1)"}),
              Events());

    // The request stays queued: new queries are refused until the primary is tried again.
    EXPECT_EQ(Hex(EQ_E_QUERY_OUTSTANDING),
              Hex(eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 6)));
    EXPECT_EQ(Hex(EQ_E_QUERY_OUTSTANDING),
              Hex(eq.EQ_QueryObservancesByAddress(kStart, kEnd, "10.0.0.2", 0, nullptr, 0, 1, 6)));
    down.Close();
    CEventQueryTestServer server(down.Port(), &TwoItemAnswer);
    CJournal::Get().ClearEvents();
    ASSERT_EQ(0u, eq.EQ_ResetToPrimaryController());
    ASSERT_TRUE(WaitForEvents("EndSet("));
    EXPECT_EQ(TwoItemSequence(5), Events());
    ASSERT_EQ(1u, server.PostCount());
    EXPECT_TRUE(HasFields(server.Posts()[0], {{"address-range", "10.0.0.1|10.0.0.1|ipv4"}}));
    EXPECT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 7));
    EXPECT_TRUE(WaitForEvents("EndSet(7)"));
}

TEST_F(FailureTest, UnusableAnswersDropTheRequest) {
    CEventQueryTestServer server;
    Start({server.Url()});
    const std::string reset =
        "Event Query Services library has encountered an inconsistent state, resetting state";
    const std::string parseFailed = "parse failed with CML error. Exception: ";
    struct Case {
        const char* body;
        const char* label;
        std::string parseLine;  // empty: the body never reaches the parser
    };
    const std::vector<Case> cases = {
        {"", "CEventQueryServices::SendPendingData::postDataResponseCheck", ""},
        {"this is not XML", "CEventQueryServices::SendPendingData::postDataResponseProcessing",
         parseFailed},
        {"<?xml version='1.0'?><inventory xmlns='urn:example:foreign'/>",
         "CEventQueryServices::SendPendingData::postDataResponseProcessing",
         parseFailed + "Deserializing EventQueryServices message:  No document object is "
                       "registered for the input message.; error = 0xc7210005"},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].body);
        const std::string body = cases[i].body;
        server.SetResponder([body](const PostedRequest&) { return Reply{200, body}; });
        CJournal::Get().ClearEvents();
        auto& journal = CJournal::Get();
        const size_t resets = journal.CountTrace(EQ_TRACE_ERROR, cases[i].label, reset);
        const size_t parses =
            journal.CountTrace(EQ_TRACE_ERROR, "CEventQueryServices::ProcessResponse", parseFailed);
        ASSERT_EQ(0u, Eq().EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 20 + i));
        ASSERT_TRUE(WaitForEvents("Error("));
        EXPECT_EQ(std::vector<std::string>{"Error(" + Hex(EQ_E_REQUEST_DROPPED) + ",1)"}, Events());
        EXPECT_EQ(resets + 1, journal.CountTrace(EQ_TRACE_ERROR, cases[i].label, reset));
        EXPECT_EQ(parses + !cases[i].parseLine.empty(),
                  journal.CountTrace(EQ_TRACE_ERROR, "CEventQueryServices::ProcessResponse",
                                     parseFailed));
        if (!cases[i].parseLine.empty() && cases[i].parseLine != parseFailed) {
            EXPECT_EQ(1u, journal.CountTrace(EQ_TRACE_ERROR, "CEventQueryServices::ProcessResponse",
                                             cases[i].parseLine));
        }
        // Dropped, not resent.
        EXPECT_EQ(i + 1, server.PostCount());
    }
    server.SetResponder(&TwoItemAnswer);
    CJournal::Get().ClearEvents();
    ASSERT_EQ(0u, Eq().EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 30));
    ASSERT_TRUE(WaitForEvents("EndSet("));
    EXPECT_EQ(TwoItemSequence(30), Events());
    EXPECT_EQ(4u, server.PostCount());
}

}  // namespace
}  // namespace eqit
