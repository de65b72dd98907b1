// PostData and TestCommSettings against local HTTP servers.

#include "ScsTestSupport.h"

using Clock = std::chrono::steady_clock;
using ScsPostDataTest = CScsTest;

TEST_F(ScsPostDataTest, MapsAnswersToStatusesAndReturnsTheBody) {
    CTestServer server;
    server.Http().Post(POST_PATH,
                       [&](const httplib::Request& request, httplib::Response& response) {
                           server.Record(request);
                           response.set_content("<response/>", "text/xml");
                       });
    server.Http().Post("/empty", [&](const httplib::Request&, httplib::Response&) {});
    // The 302 redirects to a route that counts whatever reaches it, by any method: nothing may.
    for (int status : {503, 500, 429, 302}) {
        server.Http().Post("/" + std::to_string(status) + POST_PATH,
                           [&server, status](const httplib::Request&, httplib::Response& response) {
                               response.status = status;
                               response.set_header("Retry-After", "30");
                               response.set_header("Location", server.Url() + "/moved");
                               response.set_content("failure", "text/plain");
                           });
    }
    std::atomic<int> iRedirected{0};
    const auto Count = [&](const httplib::Request&, httplib::Response&) { ++iRedirected; };
    server.Http().Get("/moved", Count);
    server.Http().Post("/moved", Count);
    server.Start();
    const std::string strRefused = RefusedUrl();
    const int32_t iId = AddDestination(
        LOCAL, CommWithServers({server.Url(), server.Url() + "/empty#", server.Url() + "/503/",
                                server.Url() + "/500", strRefused, server.Url() + "/429",
                                server.Url() + "/302"}));
    ASSERT_EQ(SCS_SetLanguage(iId, "de-DE"), 0u);

    const std::string strData("<req>\0</req>", 12);
    const SPost ok = Post(iId, 0, strData, 5000);
    EXPECT_EQ(ok.uStatus, 0u);
    EXPECT_EQ(ok.strResponse, "<response/>");
    EXPECT_EQ(ok.uLength, 11u);
    ASSERT_EQ(server.Requests().size(), 1u);
    const auto request = server.Requests()[0];
    EXPECT_EQ(request.path, POST_PATH);
    EXPECT_EQ(request.get_header_value("Content-Type"), POST_CONTENT_TYPE);
    EXPECT_EQ(request.get_header_value("Accept-Language"), "de-DE");
    EXPECT_EQ(request.body, strData);

    // "/empty#" makes the URL "<server>/empty#/zav/...": the fragment is not sent. Error statuses
    // hand out no body.
    // Server index, status, response.
    const std::tuple<int32_t, uint32_t, const char*> cases[] = {
        {1, 0, ""},
        {2, 0x4759001Fu, "<null>"},
        {3, SCS_E_HTTP_STATUS, "<null>"},
        {4, SCS_E_CONNECT, "<null>"},
        {5, SCS_E_HTTP_STATUS, "<null>"},
        {6, SCS_E_HTTP_STATUS, "<null>"},
        {7, SCS_E_BAD_SERVER_INDEX, "<null>"},
        {-1, SCS_E_BAD_SERVER_INDEX, "<null>"}};
    for (const auto& [iServer, uStatus, pszResponse] : cases) {
        const SPost post = Post(iId, iServer, "x", 5000);
        EXPECT_EQ(post.uStatus, uStatus) << iServer;
        EXPECT_EQ(post.strResponse, pszResponse) << iServer;
        EXPECT_EQ(post.uLength, 0u) << iServer;
    }
    // The trace tells when a busy server wants to be asked again.
    EXPECT_TRUE(Logged(server.Url() + "/503/zav/event_query_services' failed: HTTP status " +
                       "503, Retry-After: 30 ("));
    EXPECT_TRUE(Logged("failed: HTTP status 429, Retry-After: 30 ("));
    EXPECT_TRUE(Logged("failed: HTTP status 500 ("));
    EXPECT_TRUE(Logged(strRefused));
    EXPECT_EQ(iRedirected.load(), 0);
    EXPECT_EQ(Post(iId + 1, 0, "x", 5000).uStatus, SCS_E_BAD_DESTINATION);
}

TEST_F(ScsPostDataTest, HangingServerTimesOutWithoutBlockingOtherCalls) {
    CTestServer server;
    server.Http().Post(POST_PATH, [&](const httplib::Request& request, httplib::Response&) {
        server.Record(request, true);
    });
    server.Start();
    const int32_t iId = AddDestination(LOCAL, CommWithServers({server.Url()}));

    // The bounds are far apart: the 300 ms timeout, not the default of two minutes.
    const auto start = Clock::now();
    EXPECT_EQ(Post(iId, 0, "x", 300).uStatus, SCS_E_TIMEOUT);
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(250));
    EXPECT_LT(elapsed, std::chrono::seconds(60));

    // A post that hangs until the shutdown: calls on other threads must not wait for it. Were
    // they to, they would return only after the shutdown below, never before it.
    auto pending = std::async(std::launch::async, [&] { return Post(iId, 0, "x", 600000); });
    ASSERT_TRUE(server.WaitForRequests(2));
    auto others = std::async(std::launch::async, [&] {
        char* pValue = nullptr;
        SCS_RetrieveLocalSettingsValue(iId, "event_query_services", "connectTimeout", &pValue);
        EXPECT_EQ(Take(pValue), "1500");
        EXPECT_EQ(SCS_AddServer(iId, "http://127.0.0.1:1"), 0u);
    });
    const bool bOthersDone = others.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    if (!bOthersDone) server.Release();  // lets the post that holds them up end
    EXPECT_TRUE(bOthersDone) << "calls on other threads waited for a post in progress";
    ASSERT_EQ(SCS_ShutDown(), 0u);
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(pending.get().uStatus, SCS_E_NOT_INITIALIZED);
}

TEST_F(ScsPostDataTest, TestCommSettingsNeedsOneAnsweringServer) {
    CTestServer server;  // no routes: every request gets an HTTP 404, which is an answer
    server.Start();
    const std::string strRefused = RefusedUrl();
    const int32_t iLive = AddDestination(LOCAL, CommWithServers({strRefused, server.Url()}));
    const int32_t iDead = AddDestination(LOCAL, CommWithServers({strRefused}));

    EXPECT_EQ(SCS_TestCommSettings(iLive, 2000, "event_query_services"), 0u);
    EXPECT_EQ(SCS_TestCommSettings(iDead, 2000, "event_query_services"), SCS_E_CONNECT);
    EXPECT_EQ(SCS_TestCommSettings(0, 0, "event_query_services"), SCS_E_CONNECT);
    EXPECT_EQ(SCS_TestCommSettings(iDead + 1, 0, nullptr), SCS_E_BAD_DESTINATION);

    // The file variant tests the file as it is now, without applying it.
    m_dir.Write("comm1.ini", CommWithServers({strRefused}));
    EXPECT_EQ(SCS_TestCommSettingsFile(iLive, 2000, "event_query_services"), SCS_E_CONNECT);
    EXPECT_EQ(SCS_TestCommSettings(iLive, 2000, "event_query_services"), 0u);
    m_dir.Write("comm2.ini", CommWithServers({server.Url()}));
    EXPECT_EQ(SCS_TestCommSettingsFile(iDead, 2000, nullptr), 0u);
}
