// eq-server under hostile clients, each attack while a normal client asks once a second: the
// normal client must be answered, and the server's threads and memory must not grow with the
// attack. Loopback only; the attacks are bounded in connections, requests and time.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <thread>

#include "CmlDocuments.h"
#include "HttpServer.h"
#include "Processes.h"
#include "StoreAdmin.h"

namespace eqtest {
namespace {

using namespace std::chrono_literals;
using eqsrv::kContentType;
using eqsrv::kQueryPath;
using Clock = std::chrono::steady_clock;

constexpr int kProbes = 10;  // normal requests, one a second, per attack: one may miss

class CSocket {
public:
    explicit CSocket(int port) : m_fd(ConnectLoopback(port)) {
        const timeval limit{3, 0};  // a read that gets nothing ends the exchange
        setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    }
    ~CSocket() {
        if (m_fd >= 0) close(m_fd);
    }
    // False once the server has closed the connection (a send after its reset fails).
    bool Send(const std::string& text) {
        return m_fd >= 0 && send(m_fd, text.data(), text.size(), MSG_NOSIGNAL) ==
                                static_cast<ssize_t>(text.size());
    }
    // Until the end of a chunked answer, the server's close or 3 s of silence.
    std::string Receive() {
        std::string text;
        char buffer[4096];
        for (ssize_t n; m_fd >= 0 && (n = read(m_fd, buffer, sizeof(buffer))) > 0;) {
            text.append(buffer, static_cast<size_t>(n));
            if (text.size() >= 5 && text.compare(text.size() - 5, 5, "0\r\n\r\n") == 0) break;
        }
        return text;
    }
    void EndSending() { shutdown(m_fd, SHUT_WR); }

private:
    int m_fd;
};

struct Usage {
    long threads = 0, rssKb = 0;
};

Usage Measure(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    Usage usage;
    for (std::string key; status >> key;) {
        if (key == "Threads:") status >> usage.threads;
        if (key == "VmRSS:") status >> usage.rssKb;
    }
    return usage;
}

// Connections held open and moved on once a second (the slow attacks), or a stream of
// requests (the bursts); stop ends both.
struct Attack {
    const char* name;
    size_t connections;
    std::string open;  // sent on a new connection
    std::string tick;  // sent on each, once a second; "" nothing
    std::function<void(int port, const std::atomic<bool>& stop)> burst;
};

class Hostile : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Hundreds of attacking sockets here, beyond the usual soft limit of 1024 with the rest.
        rlimit limit{};
        getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    void SetUp() override { eqsrv::SetUserPassword(m_db, "alice", "right"); }
    CTempDir m_dir;
    std::string m_db = DemoDb(m_dir.Path() + "/hostile.db");
};

TEST_F(Hostile, NormalClientsAreAnsweredWhileTheServerStaysFlat) {
    CServerProcess server({"--db", m_db, "--require-auth", "--allow-insecure-auth",
                           "--header-timeout", "2", "--body-timeout", "2",
                           "--max-connections-per-address", "2000"});
    const std::string good = GroupQuery(L"alice", L"right"),
                      wrong = HttpPost(GroupQuery(L"alice", L"wrong"));
    httplib::Client normal(server.Url());
    normal.set_connection_timeout(2s);
    normal.set_read_timeout(2s);
    auto answered = [&] {
        const Clock::time_point start = Clock::now();
        const auto result = normal.Post(kQueryPath, good, kContentType);
        return result && result->status == 200 && Clock::now() - start <= 2s;
    };
    ASSERT_TRUE(answered());
    const Usage baseline = Measure(server.Pid());
    const size_t many = EQ_TEST_HOSTILE_CONNECTIONS;

    auto guessing = [&](int port, const std::atomic<bool>& stop) {
        for (int i = 0; i < 300 && !stop; ++i) {
            CSocket guess(port);
            if (guess.Send(wrong)) guess.Receive();
        }
    };
    auto malformed = [&](int port, const std::atomic<bool>& stop) {
        std::mt19937 random(23);
        const std::string valid = HttpPost(good);
        for (int i = 0; i < 300 && !stop; ++i) {
            std::string text = valid;
            for (int n = 1 + static_cast<int>(random() % 8); n > 0; --n) {
                text[random() % text.size()] = static_cast<char>(random() % 256);
            }
            CSocket bad(port);
            if (bad.Send(text)) {
                bad.EndSending();
                bad.Receive();
            }
        }
    };
    const Attack attacks[] = {
        {"slow headers", many, std::string("POST ") + kQueryPath + " HTTP/1.1\r\n", "X-Slow: 1\r\n",
         nullptr},
        {"slow body", many,
         std::string("POST ") + kQueryPath + " HTTP/1.1\r\nContent-Length: 99999\r\n\r\n<", " ",
         nullptr},
        {"idle kept-alive connections", many / 2, HttpPost(good), "", nullptr},
        {"password guessing", 0, "", "", guessing},
        {"malformed requests", 0, "", "", malformed},
    };
    for (const Attack& attack : attacks) {
        SCOPED_TRACE(attack.name);
        std::atomic<bool> stop{false};
        std::atomic<int> closedByServer{0};
        std::mutex mutex;
        std::condition_variable stopped;
        std::vector<std::thread> attackers;
        if (attack.burst) {
            for (int i = 0; i < 4; ++i)
                attackers.emplace_back(attack.burst, server.Port(), std::cref(stop));
        } else {
            attackers.emplace_back([&] {
                std::vector<std::unique_ptr<CSocket>> held;
                for (size_t i = 0; i < attack.connections; ++i) {
                    held.push_back(std::make_unique<CSocket>(server.Port()));
                    held.back()->Send(attack.open);
                    if (attack.tick.empty()) held.back()->Receive();  // idle after one answer
                }
                for (;;) {
                    std::unique_lock<std::mutex> lock(mutex);
                    if (stopped.wait_for(lock, 1s, [&] { return stop.load(); })) return;
                    lock.unlock();
                    for (auto& socket : held) {
                        if (attack.tick.empty() || socket->Send(attack.tick)) continue;
                        ++closedByServer;  // the deadline struck: come back, as an attacker would
                        socket = std::make_unique<CSocket>(server.Port());
                        socket->Send(attack.open);
                    }
                }
            });
        }
        int ok = 0;
        Usage peak;
        for (int probe = 0; probe < kProbes; ++probe) {
            const Clock::time_point next = Clock::now() + 1s;
            ok += answered() ? 1 : 0;
            const Usage now = Measure(server.Pid());
            peak = {std::max(peak.threads, now.threads), std::max(peak.rssKb, now.rssKb)};
            std::this_thread::sleep_until(next);  // the pace of a normal client
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        stopped.notify_all();
        for (std::thread& thread : attackers) thread.join();
        EXPECT_GE(ok * 10, kProbes * 9) << ok << " of " << kProbes << " answered within 2 s";
        EXPECT_LE(peak.threads, baseline.threads * 2) << "baseline " << baseline.threads;
        EXPECT_LE(peak.rssKb, baseline.rssKb * EQ_TEST_HOSTILE_RSS_FACTOR)
            << "baseline " << baseline.rssKb << " kB";
        EXPECT_TRUE(attack.tick.empty() || closedByServer > 0) << "no deadline";
        EXPECT_TRUE(server.Running());
    }
}

// A connection over either limit is closed before it is read; one that goes makes room.
TEST_F(Hostile, ConnectionsOverTheLimitsAreClosed) {
    for (const char* limit : {"--max-connections", "--max-connections-per-address"}) {
        SCOPED_TRACE(limit);
        CServerProcess server({"--db", m_db, limit, "3"});
        const std::string request = HttpPost(GroupQuery(L"alice", L""));
        std::vector<std::unique_ptr<CSocket>> held;
        for (int i = 0; i < 3; ++i) {
            held.push_back(std::make_unique<CSocket>(server.Port()));
            ASSERT_TRUE(held.back()->Send(request));
            EXPECT_EQ(held.back()->Receive().rfind("HTTP/1.1 200", 0), 0u) << i;
        }
        CSocket over(server.Port());
        over.Send(request);
        EXPECT_EQ(over.Receive(), "");
        held.erase(held.begin());
        // The server sees the close on its own time: a client that was turned away comes back.
        std::string answer;
        for (int attempt = 0; attempt < 100 && answer.empty(); ++attempt) {
            CSocket again(server.Port());
            again.Send(request);
            answer = again.Receive();
        }
        EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer;
    }
}

}  // namespace
}  // namespace eqtest
