// Posts keep their connections alive, and a connection the server closed meanwhile costs no post.

#include "ScsTestSupport.h"

using ScsKeepAliveTest = CScsTest;

// Ten posts in a row; each row says how many connections the server sees and whether every second
// post fails (an answer torn off on a kept connection is never posted again).
TEST_F(ScsKeepAliveTest, ConnectionsAreReusedUntilClosed) {
    // Name, server, keep_alive, comm settings loaded again before the sixth post, connections,
    // every second post torn.
    const std::tuple<const char*, CRawServer::EMode, const char*, bool, size_t, bool> rows[] = {
        {"kept", CRawServer::KEEP_OPEN, "1", false, 1, false},
        {"not kept", CRawServer::KEEP_OPEN, "0", false, 10, false},
        {"settings reloaded", CRawServer::KEEP_OPEN, "1", true, 2, false},
        {"closed by the server", CRawServer::CLOSE_SILENTLY, "1", false, 10, false},
        {"torn on reuse", CRawServer::TEAR_SECOND, "1", false, 5, true},
    };
    for (const auto& [pszName, eMode, pszKeepAlive, bReload, uConnections, bEverySecondTorn] :
         rows) {
        SCOPED_TRACE(pszName);
        CRawServer server(eMode);
        const int32_t iId =
            AddDestination(LOCAL, CommWithServers({server.Url()}) +
                                      "[transport]\nkeep_alive = " + pszKeepAlive + "\n");
        for (int i = 1; i <= 10; ++i) {
            if (bReload && i == 6) {
                ASSERT_EQ(SCS_LoadCommSettingsFile(iId, nullptr), 0u);
            }
            const bool bTorn = bEverySecondTorn && i % 2 == 0;
            const SPost post = Post(iId, 0, "x", 5000);
            EXPECT_EQ(post.uStatus, bTorn ? SCS_E_TRANSPORT : 0u) << i;
            EXPECT_EQ(post.strResponse, bTorn ? "<null>" : "answer " + std::to_string(i)) << i;
        }
        EXPECT_EQ(server.Connections(), uConnections);
        // The last shutdown closes the kept connections.
        ASSERT_EQ(SCS_ShutDown(), 0u);
        EXPECT_TRUE(server.WaitForAllClosed());
        ASSERT_EQ(SCS_Init("5.9", "scs_tests", nullptr, &m_log), 0u);
    }
}

// Posts at the same time never share a handle: each gets its own connection, kept for later.
TEST_F(ScsKeepAliveTest, ConcurrentPostsTakeAConnectionEach) {
    CRawServer server(CRawServer::KEEP_OPEN);
    const int32_t iId = AddDestination(LOCAL, CommWithServers({server.Url()}));
    std::vector<std::future<std::vector<SPost>>> posters;
    for (int i = 0; i < 4; ++i)
        posters.push_back(std::async(std::launch::async, [iId] {
            std::vector<SPost> posts;
            for (int j = 0; j < 5; ++j) posts.push_back(Post(iId, 0, "x", 5000));
            return posts;
        }));
    std::set<std::string> answers;  // of the posts that succeeded
    for (auto& poster : posters)
        for (const SPost& post : poster.get())
            if (post.uStatus == 0) answers.insert(post.strResponse);
    EXPECT_EQ(answers.size(), 20u);
    EXPECT_LE(server.Connections(), 4u);
}

// Over TLS a kept connection needs one handshake; a new connection resumes the session of the
// one before, although each post of a destination without keep-alive has a handle of its own.
TEST_F(ScsKeepAliveTest, TlsSessionsAreResumed) {
    for (const bool bKeepAlive : {true, false}) {
        SCOPED_TRACE(bKeepAlive);
        STlsHandshakes handshakes;
        CTestServer server(TlsServer(handshakes));
        server.Http().Post(POST_PATH, [](const httplib::Request&, httplib::Response& response) {
            response.set_content("secret", "text/plain");
        });
        server.Start();
        const int32_t iId =
            AddDestination(LOCAL, CommWithServers({server.Url()}) +
                                      "[transport]\nverify_peer = 0\nverify_host = 0\n"
                                      "keep_alive = " +
                                      (bKeepAlive ? "1" : "0") + "\n");
        for (int i = 0; i < 3; ++i) EXPECT_EQ(Post(iId, 0, "x", 5000).strResponse, "secret");
        EXPECT_EQ(handshakes.iFull.load(), 1);
        EXPECT_EQ(handshakes.iResumed.load(), bKeepAlive ? 0 : 2);
        EXPECT_EQ(SCS_RemoveDestination(iId), 0u);  // closes a kept connection before the server
    }
}
