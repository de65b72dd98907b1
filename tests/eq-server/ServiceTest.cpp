// eq-server run as a service: its configuration file, access log, graceful stop, certificate
// rotation and admin listener, each on a real process.
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "AdminServer.h"
#include "CmlDocuments.h"
#include "HttpServer.h"
#include "Processes.h"
#include "StoreAdmin.h"
#include "cml/EventQueryMessages/GetObservancesByAddressRequest.h"

namespace eqtest {
namespace {

using namespace zav::cml;
using eqsrv::kContentType;
using eqsrv::kQueryPath;
namespace fs = std::filesystem;

// Observances of every demo address over the 30 days; count 0 asks for the server's maximum.
std::string Query(uint32_t count, const std::wstring& agent = L"agent-7",
                  const std::wstring& user = L"", const std::wstring& password = L"") {
    auto request = std::make_unique<CGetObservancesByAddressRequest>(L"r-1");
    request->SetStartTime(L"2025-11-01T00:00:00Z");
    request->SetEndTime(L"2025-12-06T05:46:40Z");
    request->SetStartAddress(L"10.0.0.0");
    request->SetEndAddress(L"10.255.255.255");
    request->SetAddressType(L"ipv4");
    request->SetCount(count);
    return CmlDocument(std::move(request), user, password, agent);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(address);
    bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    close(fd);
    return ntohs(address.sin_port);
}

// The organisation named in the certificate the server presents to a new connection.
std::string PresentedOrganisation(int port) {
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_client_method()),
                                                          SSL_CTX_free);
    std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(ctx.get()), SSL_free);
    const int fd = ConnectLoopback(port);
    SSL_set_fd(ssl.get(), fd);
    std::string organisation = "no handshake";
    if (SSL_connect(ssl.get()) == 1) {
        std::unique_ptr<X509, decltype(&X509_free)> cert(SSL_get1_peer_certificate(ssl.get()),
                                                         X509_free);
        char text[64] = "";
        X509_NAME_get_text_by_NID(X509_get_subject_name(cert.get()), NID_organizationName, text,
                                  sizeof(text));
        organisation = text;
    }
    close(fd);
    return organisation;
}

class Service : public ::testing::Test {
protected:
    // The configuration file with these [serve] lines.
    void Configure(const std::string& lines) { std::ofstream(m_conf) << "[serve]\n" << lines; }
    // Sends signal and returns once the server has created file (its reload or stop is done).
    void SignalAndWaitFor(pid_t pid, int signal, const std::string& file) {
        const int watch = inotify_init1(IN_CLOEXEC);
        inotify_add_watch(watch, m_dir.Path().c_str(), IN_CREATE);
        kill(pid, signal);
        alignas(inotify_event) char buffer[4096];
        for (bool created = false; !created;) {
            const ssize_t n = read(watch, buffer, sizeof(buffer));
            ASSERT_GT(n, 0);
            for (char* p = buffer; p < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(p);
                created = created || (event->len > 0 && m_dir.Path() + "/" + event->name == file);
                p += sizeof(inotify_event) + event->len;
            }
        }
        close(watch);
    }
    CTempDir m_dir;
    std::string m_db = DemoDb(m_dir.Path() + "/demo.db"), m_conf = m_dir.Path() + "/eq-server.conf";
    std::string m_log = m_dir.Path() + "/access.log";
};

// Keys are the options without their dashes; the command line wins over the file; a fault in the
// file stops the start with status 2, naming the file and the key.
TEST_F(Service, ConfigurationFileAndItsFaults) {
    Configure("max-items = 3\naccess-log = " + m_dir.Path() + "/ignored.log\n");
    {
        CServerProcess server({"--config", m_conf, "--db", m_db, "--access-log", m_log});
        const auto answer = httplib::Client(server.Url()).Post(kQueryPath, Query(0), kContentType);
        ASSERT_TRUE(answer);
        EXPECT_NE(ReadFile(m_log).find(" items=3 "), std::string::npos) << ReadFile(m_log);
    }
    EXPECT_FALSE(fs::exists(m_dir.Path() + "/ignored.log"));
    const std::pair<std::string, std::string> faults[] = {
        {"workrs = 3\n", ": serve.workrs: unknown key"},
        {"port = 99999\n", ": serve.port: --port: Value 99999 not in range"},
        {"require-auth = maybe\n", ": serve.require-auth: Could not convert"},
    };
    for (const auto& [lines, message] : faults) {
        Configure(lines);
        const Result r = RunProcess({EQ_TEST_SERVER, "serve", "--config", m_conf, "--db", m_db});
        EXPECT_EQ(r.exitCode, 2) << lines;
        EXPECT_NE(r.err.find(m_conf + message), std::string::npos) << r.err;
    }
}

// One access-log line per request, client texts escaped so that no line can be split or get a
// field of the client's making, no password; /metrics agrees with what was asked and passes
// promtool.
TEST_F(Service, AccessLogAndMetricsCountEachRequest) {
    eqsrv::SetUserPassword(m_db, "alice", "right-pw");
    const std::string admin = "127.0.0.1:" + std::to_string(FreePort());
    CServerProcess server({"--db", m_db, "--require-auth", "--allow-insecure-auth", "--auth-burst",
                           "1", "--access-log", m_log, "--admin-listen", admin});
    const struct {
        std::wstring agent, user, password;
        int status;
    } requests[] = {
        {L"agent-7", L"alice", L"right-pw", 200},
        {L"evil\" status=200\nx", L"bob smith", L"wrong-pw", 401},
        {L"agent-7", L"bob smith", L"wrong-pw", 429},
    };
    size_t bytes = 0;
    for (const auto& r : requests) {
        const auto answer =
            httplib::Client(server.Url())
                .Post(kQueryPath, Query(4, r.agent, r.user, r.password), kContentType);
        ASSERT_TRUE(answer) << httplib::to_string(answer.error());
        EXPECT_EQ(answer->status, r.status);
        bytes += answer->body.size();
    }
    const std::string log = ReadFile(m_log);
    const std::regex line(
        "time=\\S+Z client=127\\.0\\.0\\.1 agent=(\\S+|\"([^\"\\\\]|\\\\.)*\") "
        "user=(\\S+|\"([^\"\\\\]|\\\\.)*\") kind=observances status=(\\d+) items=(\\d+) "
        "bytes=\\d+ ms=[0-9.]+\n");
    std::vector<std::string> statuses;
    for (std::sregex_iterator it(log.begin(), log.end(), line), end; it != end; ++it) {
        statuses.push_back((*it)[5].str() + "/" + (*it)[6].str());
    }
    EXPECT_EQ(statuses, (std::vector<std::string>{"200/4", "401/0", "429/0"})) << log;
    EXPECT_NE(log.find("agent=\"evil\\\" status=200\\nx\" user=\"bob smith\""), std::string::npos)
        << log;
    EXPECT_EQ(log.find("-pw"), std::string::npos) << log;

    httplib::Client scrape("http://" + admin);
    const auto health = scrape.Get("/healthz");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200);
    const auto metrics = scrape.Get("/metrics");
    ASSERT_TRUE(metrics);
    for (const std::string& expected :
         {std::string("eq_server_requests_total{kind=\"observances\",status=\"200\"} 1\n"),
          std::string("eq_server_requests_total{kind=\"observances\",status=\"401\"} 1\n"),
          std::string("eq_server_requests_total{kind=\"observances\",status=\"429\"} 1\n"),
          std::string("eq_server_request_duration_seconds_count 3\n"),
          std::string("eq_server_items_total 4\n"),
          "eq_server_bytes_total " + std::to_string(bytes) + "\n",
          std::string("eq_server_auth_refused_total 1\n"),
          std::string("eq_server_rate_limited_total 1\n"),
          std::string("eq_server_build_info{version=\"")}) {
        EXPECT_NE(metrics->body.find(expected), std::string::npos) << expected << metrics->body;
    }
    if (std::string(EQ_TEST_PROMTOOL).empty()) GTEST_SKIP() << "promtool not found";
    std::ofstream(m_dir.Path() + "/metrics.txt") << metrics->body;
    const Result check = RunProcess(
        {"/bin/sh", "-c",
         std::string(EQ_TEST_PROMTOOL) + " check metrics < " + m_dir.Path() + "/metrics.txt"});
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
}

// A store that fails makes /healthz answer 503 with the reason on one line.
TEST(AdminListener, HealthzTellsWhyTheStoreFails) {
    struct CFailingStore : eqsrv::CEventStore {
        std::unique_ptr<eqsrv::CRowReader> Open(const eqsrv::StoreQuery&) override {
            throw std::runtime_error("disk gone");
        }
    } store;
    eqsrv::CAdminServer admin("127.0.0.1:0", store, [] { return std::string(); });
    const auto health = httplib::Client("127.0.0.1", admin.Port()).Get("/healthz");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 503);
    EXPECT_EQ(health->body, "store failed: disk gone\n");
}

// SIGTERM while a large answer is being sent to a slow reader: no new connection is taken, the
// answer arrives whole, and the server exits 0.
TEST_F(Service, SigtermLetsTheAnswerUnderWayFinish) {
    CServerProcess server({"--db", m_db, "--drain-timeout", "60"});
    const int fd = ConnectLoopback(server.Port(), 16384);
    const std::string request = HttpPost(Query(0), "Connection: close\r\n");
    ASSERT_EQ(send(fd, request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
    std::string answer(4096, '\0');
    answer.resize(static_cast<size_t>(std::max<ssize_t>(0, recv(fd, answer.data(), 4096, 0))));
    ASSERT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer;
    kill(server.Pid(), SIGTERM);
    for (int other; (other = ConnectLoopback(server.Port())) >= 0;) close(other);
    char buffer[65536];
    for (ssize_t n; (n = recv(fd, buffer, sizeof(buffer), 0)) > 0;) answer.append(buffer, n);
    close(fd);
    EXPECT_GT(answer.size(), size_t{1} << 20);
    EXPECT_EQ(answer.substr(answer.size() - 5), "0\r\n\r\n");
    siginfo_t exit{};
    waitid(P_PID, static_cast<id_t>(server.Pid()), &exit, WEXITED | WNOWAIT);
    EXPECT_EQ(exit.si_code, CLD_EXITED);
    EXPECT_EQ(exit.si_status, 0);
}

// Certificates replaced and SIGHUP sent while eq-query clients keep asking: none fails, new
// connections get the new certificate, and one that cannot be used is refused, the last good one
// staying in use.
TEST_F(Service, SighupRotatesTheCertificateUnderLoad) {
    const std::string cert = m_dir.Path() + "/cert.pem", key = m_dir.Path() + "/key.pem";
    for (const std::string name : {"old", "new"}) {
        const std::string path = m_dir.Path() + "/" + name;
        ASSERT_TRUE(MakeCertificate(path + ".pem", path + ".key", "ec", "/O=" + name));
    }
    std::ofstream(m_dir.Path() + "/both.pem")
        << ReadFile(m_dir.Path() + "/old.pem") << ReadFile(m_dir.Path() + "/new.pem");
    const auto install = [&](const std::string& name) {
        fs::copy_file(m_dir.Path() + "/" + name + ".pem", cert,
                      fs::copy_options::overwrite_existing);
        fs::copy_file(m_dir.Path() + "/" + name + ".key", key,
                      fs::copy_options::overwrite_existing);
    };
    install("old");
    Configure("cert = " + cert + "\nkey = " + key + "\n");
    CServerProcess server({"--config", m_conf, "--db", m_db});
    // Without --ca-file the unknown issuer is refused, and eq-query says what would help.
    const Result untrusted =
        RunProcess({EQ_TEST_QUERY, "vulns", "--group", "1", "--server", server.Url()});
    EXPECT_EQ(untrusted.exitCode, 1);
    EXPECT_NE(untrusted.err.find("--ca-file"), std::string::npos) << untrusted.err;
    std::atomic<bool> stop{false};
    std::atomic<int> runs{0}, failures{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < 2; ++i) {
        clients.emplace_back([&] {
            while (!stop) {
                const Result r = RunProcess({EQ_TEST_QUERY, "observances", "--address",
                                             "10.0.1.1-10.0.1.9", "--from", "2025-12-01", "--to",
                                             "2025-12-02", "--server", server.Url(), "--ca-file",
                                             m_dir.Path() + "/both.pem", "--format", "jsonl"});
                ++runs;
                if (r.exitCode != 0) ++failures;
            }
        });
    }
    EXPECT_EQ(PresentedOrganisation(server.Port()), "old");
    // Each reload also opens the access log named in the file: its creation says the reload ran.
    install("new");
    Configure("cert = " + cert + "\nkey = " + key + "\naccess-log = " + m_log + "\n");
    SignalAndWaitFor(server.Pid(), SIGHUP, m_log);
    EXPECT_EQ(PresentedOrganisation(server.Port()), "new");
    std::ofstream(cert) << "-----BEGIN CERTIFICATE-----\nbroken\n-----END CERTIFICATE-----\n";
    Configure("cert = " + cert + "\nkey = " + key + "\naccess-log = " + m_log + "2\n");
    SignalAndWaitFor(server.Pid(), SIGHUP, m_log + "2");
    EXPECT_EQ(PresentedOrganisation(server.Port()), "new");
    while (runs < 6) std::this_thread::yield();
    stop = true;
    for (std::thread& client : clients) client.join();
    EXPECT_EQ(failures, 0) << "of " << runs;
}

}  // namespace
}  // namespace eqtest
