// eq-server in process: the socket options of accepted connections, and the check of users
// (credential cache, limits on refused logins) with a clock the test moves.
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <thread>
#include <vector>

#include "HttpServer.h"
#include "PgCluster.h"
#include "Processes.h"
#include "SqliteStore.h"
#include "StoreAdmin.h"

namespace eqtest {
namespace {

using namespace eqsrv;
using namespace std::chrono_literals;

class Auth : public ::testing::Test {
protected:
    void SetUp() override {
        CAdminDb::Open(m_db, true)->Migrate();
        SetUserPassword(m_db, "alice", "right");
    }
    CTempDir m_dir;
    std::string m_db = m_dir.Path() + "/auth.db";
};

// The server's end of a kept-alive connection, after one answer, has Nagle off.
TEST_F(Auth, AcceptedConnectionsHaveNagleOff) {
    const std::string cert = m_dir.Path() + "/cert.pem", key = m_dir.Path() + "/key.pem";
    ASSERT_TRUE(MakeCertificate(cert, key, "ec"));
    CSqliteStore store(m_db);
    for (const bool https : {false, true}) {
        SCOPED_TRACE(https ? "https" : "http");
        ServerOptions options;
        options.certFile = https ? cert : "";
        options.keyFile = https ? key : "";
        CHttpServer server(options, store);
        const int port = server.Bind();
        std::thread runner([&] { server.Run(); });
        {
            httplib::Client client((https ? "https://127.0.0.1:" : "http://127.0.0.1:") +
                                   std::to_string(port));
            client.enable_server_certificate_verification(false);
            client.set_keep_alive(true);
            const auto answer = client.Post(kQueryPath, "not CML", kContentType);
            EXPECT_EQ(answer ? answer->status : 0, 400);
            int accepted = 0;
            // The accepted socket: the server's port, and a peer (the listening one has none).
            for (int fd = 3; fd < 1024; ++fd) {
                sockaddr_in local{}, peer{};
                socklen_t size = sizeof(local), peerSize = sizeof(peer), intSize = sizeof(int);
                int nodelay = 0;
                if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) != 0 ||
                    local.sin_family != AF_INET || ntohs(local.sin_port) != port ||
                    getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0)
                    continue;
                getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &nodelay, &intSize);
                EXPECT_EQ(nodelay, 1);
                ++accepted;
            }
            EXPECT_EQ(accepted, 1);
        }
        server.Stop();
        runner.join();
    }
}

// Burst 3, one refusal forgiven per 10 s, per address and per user name; cached credentials
// pass whatever the buckets hold.
TEST_F(Auth, RefusedLoginsAreLimitedButKnownCredentialsPass) {
    std::chrono::steady_clock::time_point now{};
    CUserCheck check(m_db, AuthLimits{3, 10s}, [&now] { return now; });
    struct Step {
        const char *address, *user, *password;
        int seconds;  // the clock moves on before the step
        int status;
        int64_t retryAfter;
        size_t logLines;  // a refusal's own, and one per bucket it empties
    };
    const Step steps[] = {
        {"10.0.0.1", "alice", "wrong", 0, 401, 0, 1},  // nothing known yet
        {"10.0.0.1", "alice", "right", 0, 200, 0, 0},
        {"10.0.0.1", "alice", "wrong", 0, 401, 0, 1},  // a wrong one after the right one
        {"10.0.0.1", "bob", "right", 0, 401, 0, 2},    // unknown; the address's bucket is empty
        {"10.0.0.1", "bob", "right", 0, 429, 10, 0},
        {"10.0.0.1", "alice", "right", 0, 200, 0, 0},  // cached: passes while limited
        {"10.0.0.2", "alice", "wrong", 0, 401, 0, 2},  // the user's bucket is empty
        {"10.0.0.3", "alice", "wrong", 0, 429, 10, 0},
        {"10.0.0.1", "bob", "right", 9, 429, 1, 0},
        {"10.0.0.1", "bob", "right", 1, 401, 0, 2},  // one token back, and gone again
        {"10.0.0.1", "bob", "right", 0, 429, 10, 0},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        const Step& step = steps[i];
        now += std::chrono::seconds(step.seconds);
        const AuthVerdict verdict = check(step.address, step.user, step.password);
        EXPECT_EQ(verdict.status, step.status) << "step " << i;
        EXPECT_EQ(verdict.retryAfter, step.retryAfter) << "step " << i;
        ASSERT_EQ(verdict.log.size(), step.logLines) << "step " << i;
        if (step.status == 401) {
            EXPECT_EQ(verdict.log[0], std::string("bad credentials for user ") + step.user);
        }
    }
}

// Worker threads check users at the same time, all through the one connection, on both
// engines (PostgreSQL's keeps state of its own): under TSan a missing lock shows here.
TEST_F(Auth, ConcurrentChecksGetTheirOwnVerdicts) {
    std::vector<std::string> stores = {m_db};
    if (!CPgCluster::BinDir().empty()) {
        stores.push_back(CPgCluster::Shared().CreateDatabase("auth"));
        SetUserPassword(stores.back(), "alice", "right");
    }
    for (const std::string& db : stores) {
        CUserCheck check(db, AuthLimits{1000, 10s});
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&check, t] {
                for (int i = 0; i < 100; ++i) {
                    const bool right = i % 25 != t;
                    EXPECT_EQ(check("10.0.0.1", "alice", right ? "right" : "wrong").status,
                              right ? 200 : 401);
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
    }
}

// A changed password takes effect at once, although the old one was cached.
TEST_F(Auth, AChangedPasswordReplacesTheCachedOne) {
    CUserCheck check(m_db);
    EXPECT_EQ(check("10.0.0.1", "alice", "right").status, 200);
    SetUserPassword(m_db, "alice", "new");
    EXPECT_EQ(check("10.0.0.1", "alice", "right").status, 401);
    EXPECT_EQ(check("10.0.0.1", "alice", "new").status, 200);
}

}  // namespace
}  // namespace eqtest
