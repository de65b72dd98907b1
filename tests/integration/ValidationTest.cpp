// What the query functions refuse, and the single outstanding request.
#include <limits>
#include <string>
#include <vector>

#include "IntegrationTest.h"

namespace eqit {
namespace {

class ValidationTest : public CIntegrationTest {};

TEST_F(ValidationTest, RefusedQueriesLogTheirReasonAndChangeNothing) {
    CEventQueryTestServer server(&TwoItemAnswer);
    Start({server.Url()});
    const EqApi& eq = Eq();
    ASSERT_EQ(0u, eq.EQ_SetVulnerabilityResultFilter("cve"));
    ASSERT_EQ(0u, eq.EQ_SetAuthentication("operator", "pw"));

    // The status came with exactly the error line "CEventQueryServices::" + line, or none.
    auto refused = [](uint32_t expected, uint32_t status, const std::string& line) {
        EXPECT_EQ(Hex(expected), Hex(status)) << line;
        EXPECT_EQ(line.empty() ? std::vector<std::string>{}
                               : std::vector<std::string>{"CEventQueryServices::" + line},
                  CJournal::Get().ErrorLines());
        CJournal::Get().Clear();
    };
    const std::string big(4096, '7');
    const time_t never = std::numeric_limits<time_t>::max();
    const std::string null = ": A required input parameter is NULL.";
    const std::string large = ": An input parameter is too large.";
    const std::string address = "QueryVulnsByAddress: The address range was invalid.";
    const std::string time = ": The time range was invalid.";
    const uint32_t invalid = EQ_E_INVALID_ARG;
    CJournal::Get().Clear();
    refused(invalid, eq.EQ_QueryVulnsByAddress(kStart, kEnd, nullptr, 0, 1, 1),
            "QueryVulnsByAddress" + null);
    refused(invalid, eq.EQ_QueryObservancesByGroup(kStart, kEnd, nullptr, 0, nullptr, 0, 1, 1),
            "QueryObservancesByGroup" + null);
    refused(invalid, eq.EQ_QueryVulnsByGroup(kStart, kEnd, big.c_str(), 0, 1, 1),
            "QueryVulnsByGroup" + large);
    refused(invalid,
            eq.EQ_QueryObservancesByAddress(kStart, kEnd, "10.0.0.1", 0, big.c_str(), 0, 1, 1),
            "QueryObservancesByAddress" + large);
    // The range rules are the unit tests'; here one refusal shows the way out.
    refused(invalid, eq.EQ_QueryVulnsByAddress(kStart, kEnd, "10.0.0.1-", 0, 1, 1), address);
    // The Get forms check through the Query forms.
    refused(invalid, eq.EQ_GetObservanceSummaryByAddress(0, 1, "10.0.0.1", 0, "2, 8", 0, 1, 1),
            "QueryObservancesByAddress: The observance type was invalid.");
    // Every 32-bit time_t breaks down; only a wider one has values past gmtime's years.
    if (sizeof(time_t) > 4) {
        refused(invalid, eq.EQ_GetVulnsByAddress(never, 0, "10.0.0.1", 0, 1, 1),
                "GetVulnsByAddress" + time);
        refused(invalid, eq.EQ_GetObservanceSummaryByGroup(0, never, "g", 0, nullptr, 0, 1, 1),
                "GetObservanceSummaryByGroup" + time);
    }
    refused(EQ_E_EXCEPTION, eq.EQ_QueryVulnsByGroup(nullptr, kEnd, "g", 0, 1, 1), "");
    refused(EQ_E_EXCEPTION, eq.EQ_SetAuthentication("intruder", nullptr), "");
    // Without an agent id the component's status comes back.
    ASSERT_EQ(0u, eq.EQ_SetAgentId(""));
    refused(0xC759000Bu, eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 1),
            "QueryVulnsByGroup: Unable to get agent GUID from SCS.");
    ASSERT_EQ(0u, eq.EQ_SetAgentId(kAgentId));

    // Nothing was queued or changed: the next accepted query is the first post.
    const std::string largest(4095, '7');
    ASSERT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, largest.c_str(), 1, 9, 9));
    ASSERT_TRUE(WaitForEvents("EndSet("));
    EXPECT_EQ(TwoItemSequence(9), Events());
    const std::vector<PostedRequest> posts = server.Posts();
    ASSERT_EQ(1u, posts.size());
    EXPECT_TRUE(HasFields(posts[0], "group-id=" + largest +
                                        " count=9 filter=cve source=" + kAgentName + "|" +
                                        kAgentNamespace + "|||" + kAgentId + "|operator|pw"));
}

TEST_F(ValidationTest, SecondQueryIsRefusedUntilTheAnswerIsBeingProcessed) {
    // The first answer is held until released; later ones go out at once.
    CEventQueryTestServer server([](const PostedRequest& posted) {
        Reply reply = TwoItemAnswer(posted);
        reply.hold = posted.Field("group-id") == "first";
        return reply;
    });
    Start({server.Url()});
    const EqApi& eq = Eq();
    ASSERT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, "first", 0, 1, 1));
    ASSERT_TRUE(server.WaitForPosts(1));

    EXPECT_EQ(Hex(EQ_E_QUERY_OUTSTANDING),
              Hex(eq.EQ_GetVulnsByAddress(0, 86400, "10.0.0.1-10.0.0.255", 1, 5, 0x1234)));
    EXPECT_EQ(Hex(EQ_E_QUERY_OUTSTANDING),
              Hex(eq.EQ_QueryObservancesByGroup(kStart, kEnd, "g", 0, nullptr, 0, 1, 12)));
    // The refused query is still described in the trace, with the converted times.
    EXPECT_EQ(1u, CJournal::Get().CountTrace(
                      "CEventQueryServices::QueryVulnsByAddress: Queueing vulnerabilities by "
                      "address request: \n\tTime Range: "
                      "1970-01-01T00:00:00.000000Z - 1970-01-02T00:00:00.000000Z\n\tAddress "
                      "Range: 10.0.0.1-10.0.0.255\n\tFixed: true\n\tCount: 5\n\tClient Data: "
                      "0x00001234"));

    // Once the answer is being processed, a query from inside the delivery is taken.
    CJournal::Get().Update([&] {
        CJournal::Get().m_onBeginSet = [&eq](uint32_t cd) {
            if (cd != 1) return;
            const uint32_t status =
                eq.EQ_QueryObservancesByGroup(kStart, kEnd, "second", 0, nullptr, 0, 1, 2);
            CJournal::Get().Update(
                [&] { CJournal::Get().m_events.push_back("Nested(" + Hex(status) + ")"); });
        };
    });
    server.Release();
    ASSERT_TRUE(WaitForEvents("EndSet(", 2)) << ::testing::PrintToString(Events());
    std::vector<std::string> expected = TwoItemSequence(1);
    expected.insert(expected.begin(), "Nested(0x00000000)");
    const std::vector<std::string> second = TwoItemSequence(2);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(expected, Events());

    // Only the first and the nested query were posted.
    const std::vector<PostedRequest> posts = server.Posts();
    ASSERT_EQ(2u, posts.size());
    EXPECT_TRUE(HasFields(posts[0], "element=get-vulnerabilities-by-group-request group-id=first"));
    EXPECT_TRUE(HasFields(posts[1], "element=get-observances-by-group-request group-id=second"));
}

}  // namespace
}  // namespace eqit
