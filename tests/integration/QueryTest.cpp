// Each query function end to end: the document the server receives and the callbacks the answer
// produces; what the query functions refuse.
#include <array>
#include <cstdint>
#include <limits>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "IntegrationTest.h"

namespace eqit {
namespace {

class QueryTest : public CIntegrationTest {};

TEST_F(QueryTest, EachQueryPostsItsRequestAndDeliversTheAnswer) {
    CEventQueryTestServer server(&TwoItemAnswer);
    Start({server.Url()});
    const EqApi& eq = Eq();
    ASSERT_EQ(0u, eq.EQ_SetAuthentication("operator", "s3cr'et&<"));
    ASSERT_EQ(0u, eq.EQ_SetVulnerabilityResultFilter("cve,,bid"));
    ASSERT_EQ(0u, eq.EQ_SetObservanceResultFilter("severity"));

    const std::string common =
        "schema-version=1.0.0 need-reply=true "
        "namespace=http://schemas.zav.example.org/cml/Message/EventQueryMessages source=" +
        std::string(kAgentName) + "|" + kAgentNamespace + "|||" + kAgentId + "|operator|s3cr'et&<";
    const std::regex guid("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}");
    std::set<std::string> ids;
    uint32_t cd = 0xA0000000u;  // of the latest query
    // The answer to the query that gave status reached the callbacks, and the post has fields.
    auto expect = [&](uint32_t status, const std::string& fields) {
        SCOPED_TRACE(fields);
        ASSERT_EQ(0u, status);
        ASSERT_TRUE(WaitForEvents("EndSet(")) << ::testing::PrintToString(Events());
        EXPECT_EQ(TwoItemSequence(cd), Events());
        CJournal::Get().ClearEvents();
        const std::vector<PostedRequest> posts = server.Posts();
        ASSERT_EQ(cd - 0xA0000000u, posts.size());
        EXPECT_EQ("/zav/event_query_services", posts.back().path);
        EXPECT_EQ("application/x-zav-cml-data; charset=UTF-8", posts.back().contentType);
        EXPECT_TRUE(HasFields(posts.back(), fields + " " + common));
        for (const char* id : {"request-id", "message-id"}) {
            const std::string& value = posts.back().Field(id);
            EXPECT_TRUE(std::regex_match(value, guid)) << value;
            EXPECT_TRUE(ids.insert(value).second) << "reused " << value;
        }
    };
    const std::string day =
        " start-time=2007-03-01T00:00:00.000000Z end-time=2007-03-02T00:00:00.000000Z";
    const std::string vulns = "element=get-vulnerabilities-by-";
    const std::string observances = "element=get-observances-by-";
    expect(eq.EQ_QueryVulnsByAddress(kStart, kEnd, "10.0.0.1-10.0.0.255", 0, 100, ++cd),
           vulns + "address-request count=100 fixed=false filter=cve||bid" + day +
               " address-range=10.0.0.1|10.0.0.255|ipv4");
    expect(eq.EQ_QueryVulnsByGroup(kStart, kEnd, "group-7", 1, 25, ++cd),
           vulns + "group-request count=25 group-id=group-7 fixed=true filter=cve||bid" + day);
    expect(eq.EQ_GetVulnsByAddress(0, 86400, "fe80::1-fe80::ff", 1, 5, ++cd),
           vulns +
               "address-request count=5 start-time=1970-01-01T00:00:00.000000Z "
               "end-time=1970-01-02T00:00:00.000000Z fixed=true "
               "address-range=fe80::1|fe80::ff|ipv6");
    expect(eq.EQ_GetVulnsByGroup(1199145600, 1199232000, "g", 0, 0, ++cd),
           vulns +
               "group-request count=0 start-time=2008-01-01T00:00:00.000000Z "
               "end-time=2008-01-02T00:00:00.000000Z group-id=g");
    expect(eq.EQ_QueryObservancesByAddress(kStart, kEnd, "10.0.0.7", 0, nullptr, 0, 50, ++cd),
           observances + "address-request count=50 address-range=10.0.0.7|10.0.0.7|ipv4" + day +
               " analysis=true|true|false observance-type=2,8|true filter=severity");
    // Source and target apart, so that one switch taken from the other's flag shows.
    expect(eq.EQ_QueryObservancesByGroup(kStart, kEnd, "7", EQ_ANALYSIS_TARGET | EQ_ANALYSIS_SENSOR,
                                         "1,3", 1, 50, ++cd),
           observances +
               "group-request group-id=7 analysis=false|true|true "
               "observance-type=1,3|true");
    // The ends of a 32-bit time_t.
    expect(eq.EQ_GetObservanceSummaryByAddress(INT32_MIN, INT32_MAX, "10.0.0.1-::1", 8, "", 0, 3,
                                               ++cd),
           observances +
               "address-request count=3 start-time=1901-12-13T20:45:52.000000Z "
               "end-time=2038-01-19T03:14:07.000000Z "
               "address-range=10.0.0.1|::1|ipv6 analysis=false|false|false "
               "observance-type=|false");
    // A time with seconds (LifecycleTest converts this text back).
    expect(eq.EQ_GetObservanceSummaryByGroup(1172752496, 1199145600, "grp", EQ_ANALYSIS_SOURCE, "5",
                                             0, 1, ++cd),
           observances +
               "group-request group-id=grp start-time=2007-03-01T12:34:56.000000Z "
               "end-time=2008-01-01T00:00:00.000000Z analysis=true|false|false "
               "observance-type=5|false filter=severity");
}

TEST_F(QueryTest, AnswersReachTheCallbacksInDocumentOrder) {
    CEventQueryTestServer server;
    Start({server.Url()});
    const EqApi& eq = Eq();
    auto query = [&](uint32_t cd) {
        CJournal::Get().ClearEvents();
        return eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, cd);
    };

    // Three responses in one message, texts that need escaping and more than ASCII; an empty
    // response still brackets its set.
    server.SetResponder([](const PostedRequest&) {
        return Reply{200, BuildResponseDocument(
                              {{true, {{L"v1", {{L"cve", L"CVE-1"}}}}, L""},
                               {false, {{L"\u00f6-2", {{L"note", L"a<b & 'c' \u2713"}}}}, L""},
                               QueryResponse{}})};
    });
    ASSERT_EQ(0u, query(1));
    ASSERT_TRUE(WaitForEvents("EndSet(", 3));
    EXPECT_EQ((std::vector<std::string>{"BeginSet(1)", "Begin(1,v1)", "Data(1,v1,cve,CVE-1)",
                                        "End(1,v1)", "EndSet(1)", "BeginSet(1)", "Begin(1,ö-2)",
                                        "Data(1,ö-2,note,a<b & 'c' ✓)", "End(1,ö-2)", "EndSet(1)",
                                        "BeginSet(1)", "EndSet(1)"}),
              Events());

    // Only the result-data callback: the pairs without their brackets; no callbacks: the answer
    // is consumed all the same and the next query is taken.
    server.SetResponder(&TwoItemAnswer);
    for (const uint32_t cd : {2u, 3u}) {
        ASSERT_EQ(0u,
                  eq.EQ_RegisterResultSetCallbacks(
                      nullptr, nullptr, cd == 2 ? &CJournal::OnData : nullptr, nullptr, nullptr));
        ASSERT_EQ(0u, query(cd));
        ASSERT_TRUE(CJournal::Get().WaitForTrace(
            "CEventQueryServices::ProcessResponse: Response processed", cd));
        EXPECT_EQ((cd == 2 ? std::vector<std::string>{"Data(2,1,a,1)", "Data(2,1,b,2)"}
                           : std::vector<std::string>{}),
                  Events());
    }
    ASSERT_EQ(0u, RegisterAllCallbacks());
    ASSERT_EQ(0u, query(4));
    ASSERT_TRUE(WaitForEvents("EndSet("));
    EXPECT_EQ(TwoItemSequence(4), Events());
    EXPECT_EQ(4u, server.Posts().size());

    // An answer without an event query response ends its query with no callback; a warning names
    // what the answer held instead.
    CJournal::Get().Clear();
    const std::string ns = "http://schemas.zav.example.org/cml/Message/EventQueryMessages";
    const std::string vulns = "get-vulnerabilities-response (namespace '";
    // Each text of the two-item answer replaced, and what the warning names.
    const std::vector<std::array<std::string, 3>> cases = {
        {ns + "'", ns + "2'", vulns + ns + "2', schema-version '1.0.0')"},
        {ns + "' schema-version='1.0.0'", ns + "'", vulns + ns + "', schema-version '')"},
        {"get-vulnerabilities-response", "get-assets-response",
         "get-assets-response (namespace '" + ns + "', schema-version '1.0.0')"},
        {"", "", "no response element"}};  // a message without responses
    const size_t npos = std::string::npos;
    for (uint32_t i = 0; i < cases.size(); ++i) {
        const std::string &from = cases[i][0], &to = cases[i][1], &found = cases[i][2];
        server.SetResponder([&](const PostedRequest& posted) {
            Reply reply = TwoItemAnswer(posted);
            if (from.empty()) reply.body = BuildResponseDocument({});
            for (size_t at = 0; !from.empty() && (at = reply.body.find(from, at)) != npos;
                 at += to.size()) {
                reply.body.replace(at, from.size(), to);
            }
            return reply;
        });
        ASSERT_EQ(0u, Eq().EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, i));
        EXPECT_TRUE(CJournal::Get().WaitForTrace(
            "CEventQueryServices::ProcessResponse: Event Query Services' CML response holds no "
            "event query response; found " +
            found))
            << server.Posts().back().answer;
        ASSERT_TRUE(CJournal::Get().WaitForTrace(
            "CEventQueryServices::ProcessResponse: Response processed", i + 1));
    }
    EXPECT_TRUE(Events().empty()) << ::testing::PrintToString(Events());
}

// What the query functions refuse, and the single outstanding request.
TEST_F(QueryTest, RefusedQueriesChangeNothingAndOneRequestIsOutstanding) {
    // The answer to group "first" is held until released; others go out at once.
    CEventQueryTestServer server([](const PostedRequest& posted) {
        Reply reply = TwoItemAnswer(posted);
        reply.hold = posted.Field("group-id") == "first";
        return reply;
    });
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
    const std::string large = ": An input parameter is too large.";
    const std::string time = ": The time range was invalid.";
    const uint32_t invalid = EQ_E_INVALID_ARG;
    CJournal::Get().Clear();
    refused(invalid, eq.EQ_QueryVulnsByAddress(kStart, kEnd, nullptr, 0, 1, 1),
            "QueryVulnsByAddress: A required input parameter is NULL.");
    refused(invalid, eq.EQ_QueryVulnsByGroup(kStart, kEnd, big.c_str(), 0, 1, 1),
            "QueryVulnsByGroup" + large);
    refused(invalid,
            eq.EQ_QueryObservancesByAddress(kStart, kEnd, "10.0.0.1", 0, big.c_str(), 0, 1, 1),
            "QueryObservancesByAddress" + large);
    // The range rules are the unit tests'; here one refusal shows the way out.
    refused(invalid, eq.EQ_QueryVulnsByAddress(kStart, kEnd, "10.0.0.1-", 0, 1, 1),
            "QueryVulnsByAddress: The address range was invalid.");
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
    std::vector<PostedRequest> posts = server.Posts();
    ASSERT_EQ(1u, posts.size());
    EXPECT_TRUE(HasFields(posts[0], "group-id=" + largest +
                                        " count=9 filter=cve source=" + kAgentName + "|" +
                                        kAgentNamespace + "|||" + kAgentId + "|operator|pw"));

    // A second query is refused until the answer to the first is being processed.
    CJournal::Get().ClearEvents();
    ASSERT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, "first", 0, 1, 1));
    ASSERT_TRUE(server.WaitForPosts(2));
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
    std::vector<std::string> expected = TwoItemSequence(1), second = TwoItemSequence(2);
    expected.insert(expected.begin(), "Nested(0x00000000)");
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(expected, Events());

    // Only the first and the nested query were posted.
    posts = server.Posts();
    ASSERT_EQ(3u, posts.size());
    EXPECT_TRUE(HasFields(posts[1], "element=get-vulnerabilities-by-group-request group-id=first"));
    EXPECT_TRUE(HasFields(posts[2], "element=get-observances-by-group-request group-id=second"));
}

}  // namespace
}  // namespace eqit
