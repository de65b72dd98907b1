// Each query function end to end: the document the server receives and the callbacks the answer
// produces.
#include <array>
#include <cstdint>
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
    auto processed = [](size_t count) {
        return CJournal::Get().WaitForTrace(
            "CEventQueryServices::ProcessResponse: Response processed", count);
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
        ASSERT_TRUE(processed(cd));
        EXPECT_EQ((cd == 2 ? std::vector<std::string>{"Data(2,1,a,1)", "Data(2,1,b,2)"}
                           : std::vector<std::string>{}),
                  Events());
    }
    RegisterAllCallbacks();
    ASSERT_EQ(0u, query(4));
    ASSERT_TRUE(WaitForEvents("EndSet("));
    EXPECT_EQ(TwoItemSequence(4), Events());
    EXPECT_EQ(4u, server.Posts().size());
}

// An answer without an event query response ends its query with no callback; a warning names what
// the answer held instead.
TEST_F(QueryTest, AnswerWithoutAnEventQueryResponse) {
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
    CEventQueryTestServer server;
    Start({server.Url()});
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

}  // namespace
}  // namespace eqit
