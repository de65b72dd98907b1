// What the query functions refuse, and the single outstanding request.
#include <limits>
#include <string>
#include <vector>

#include "IntegrationTest.h"

namespace eqit {
namespace {

class ValidationTest : public CIntegrationTest {};

struct Refusal {
    const char* what;
    std::function<uint32_t()> call;
    const char* function;  // of the level-1 line; null when none is expected
    const char* message;
    uint32_t status;
};

TEST_F(ValidationTest, RefusedQueriesLogTheirReasonAndChangeNothing) {
    CEventQueryTestServer server(&TwoItemAnswer);
    Start({server.Url()});
    const EqApi& eq = Eq();
    ASSERT_EQ(0u, eq.EQ_SetVulnerabilityResultFilter("cve"));

    const std::string big(4096, '7');
    const std::string largest(4095, '7');
    const time_t never = std::numeric_limits<time_t>::max();
    const char* const kNull = "A required input parameter is NULL.";
    const char* const kLarge = "An input parameter is too large.";
    const char* const kAddress = "The address range was invalid.";
    const char* const kByAddress = "CEventQueryServices::QueryVulnsByAddress";
    const std::vector<Refusal> refusals = {
        {"null address", [&] { return eq.EQ_QueryVulnsByAddress(kStart, kEnd, nullptr, 0, 1, 1); },
         kByAddress, kNull, EQ_E_INVALID_ARG},
        {"null group",
         [&] { return eq.EQ_QueryObservancesByGroup(kStart, kEnd, nullptr, 0, nullptr, 0, 1, 1); },
         "CEventQueryServices::QueryObservancesByGroup", kNull, EQ_E_INVALID_ARG},
        {"4096-byte group",
         [&] { return eq.EQ_QueryVulnsByGroup(kStart, kEnd, big.c_str(), 0, 1, 1); },
         "CEventQueryServices::QueryVulnsByGroup", kLarge, EQ_E_INVALID_ARG},
        {"4096-byte type filter",
         [&] {
             return eq.EQ_QueryObservancesByAddress(kStart, kEnd, "10.0.0.1", 0, big.c_str(), 0, 1,
                                                    1);
         },
         "CEventQueryServices::QueryObservancesByAddress", kLarge, EQ_E_INVALID_ARG},
        {"capital hex", [&] { return eq.EQ_QueryVulnsByAddress(kStart, kEnd, "FE80::1", 0, 1, 1); },
         kByAddress, kAddress, EQ_E_INVALID_ARG},
        {"digits only", [&] { return eq.EQ_QueryVulnsByAddress(kStart, kEnd, "1234", 0, 1, 1); },
         kByAddress, kAddress, EQ_E_INVALID_ARG},
        {"empty high bound",
         [&] { return eq.EQ_QueryVulnsByAddress(kStart, kEnd, "10.0.0.1-", 0, 1, 1); }, kByAddress,
         kAddress, EQ_E_INVALID_ARG},
        {"blank in type filter",
         [&] { return eq.EQ_QueryObservancesByGroup(kStart, kEnd, "g", 0, "2, 8", 0, 1, 1); },
         "CEventQueryServices::QueryObservancesByGroup", "The observance type was invalid.",
         EQ_E_INVALID_ARG},
        {"unconvertible start",
         [&] { return eq.EQ_GetVulnsByAddress(never, 0, "10.0.0.1", 0, 1, 1); },
         "CEventQueryServices::GetVulnsByAddress", "The time range was invalid.", EQ_E_INVALID_ARG},
        {"unconvertible end",
         [&] { return eq.EQ_GetObservanceSummaryByGroup(0, never, "g", 0, nullptr, 0, 1, 1); },
         "CEventQueryServices::GetObservanceSummaryByGroup", "The time range was invalid.",
         EQ_E_INVALID_ARG},
        {"null start time", [&] { return eq.EQ_QueryVulnsByGroup(nullptr, kEnd, "g", 0, 1, 1); },
         nullptr, nullptr, EQ_E_EXCEPTION},
    };
    auto errorLines = [] {
        size_t count = 0;
        for (const TraceLine& line : CJournal::Get().Trace()) count += line.level == EQ_TRACE_ERROR;
        return count;
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        const size_t errorsBefore = errorLines();
        const size_t matchingBefore =
            refusal.function == nullptr
                ? 0
                : CJournal::Get().CountTrace(EQ_TRACE_ERROR, refusal.function, refusal.message);
        EXPECT_EQ(Hex(refusal.status), Hex(refusal.call()));
        EXPECT_EQ(errorsBefore + (refusal.function != nullptr), errorLines());
        if (refusal.function != nullptr) {
            EXPECT_EQ(matchingBefore + 1, CJournal::Get().CountTrace(
                                              EQ_TRACE_ERROR, refusal.function, refusal.message));
        }
    }

    // Without an agent id the component's status comes back.
    ASSERT_EQ(0u, eq.EQ_SetAgentId(""));
    EXPECT_EQ(Hex(0xC759000Bu), Hex(eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 1)));
    EXPECT_EQ(1u,
              CJournal::Get().CountTrace(EQ_TRACE_ERROR, "CEventQueryServices::QueryVulnsByGroup",
                                         "Unable to get agent GUID from SCS."));
    ASSERT_EQ(0u, eq.EQ_SetAgentId(kAgentId));

    // Nothing was queued: the next accepted query is the first post, with the filter intact.
    ASSERT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, largest.c_str(), 1, 9, 9));
    ASSERT_TRUE(WaitForEvents("EndSet("));
    EXPECT_EQ(TwoItemSequence(9), Events());
    ASSERT_EQ(1u, server.PostCount());
    EXPECT_TRUE(
        HasFields(server.Posts()[0], {{"group-id", largest}, {"count", "9"}, {"filter", "cve"}}));
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

    const size_t traced = CJournal::Get().CountTrace(
        EQ_TRACE_DEBUG, "CEventQueryServices::QueryVulnsByAddress", "Queueing ");
    EXPECT_EQ(Hex(EQ_E_QUERY_OUTSTANDING),
              Hex(eq.EQ_QueryVulnsByAddress(kStart, kEnd, "10.0.0.1-10.0.0.255", 0, 100, 11)));
    EXPECT_EQ(Hex(EQ_E_QUERY_OUTSTANDING),
              Hex(eq.EQ_GetObservanceSummaryByAddress(0, 1, "10.0.0.1", 0, nullptr, 0, 1, 12)));
    // The refused query is still described in the trace.
    EXPECT_EQ(traced + 1, CJournal::Get().CountTrace(
                              EQ_TRACE_DEBUG, "CEventQueryServices::QueryVulnsByAddress",
                              "Queueing vulnerabilities by address request: \n"
                              "\tTime Range: 2007-03-01T00:00:00Z - 2007-03-02T00:00:00Z\n"
                              "\tAddress Range: 10.0.0.1-10.0.0.255\n\tFixed: false\n"
                              "\tCount: 100\n\tClient Data: 0x0000000b"));

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
    const std::vector<std::string> events = Events();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ("Nested(0x00000000)", events[0]);
    EXPECT_EQ("BeginSet(1)", events[1]);
    EXPECT_EQ(std::vector<std::string>(events.end() - 8, events.end()), TwoItemSequence(2));

    // Only the first and the nested query were posted.
    const std::vector<PostedRequest> posts = server.Posts();
    ASSERT_EQ(2u, posts.size());
    EXPECT_TRUE(HasFields(
        posts[0], {{"element", "get-vulnerabilities-by-group-request"}, {"group-id", "first"}}));
    EXPECT_TRUE(HasFields(
        posts[1], {{"element", "get-observances-by-group-request"}, {"group-id", "second"}}));
}

}  // namespace
}  // namespace eqit
