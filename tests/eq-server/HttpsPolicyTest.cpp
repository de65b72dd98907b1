// eq-server's TLS policy as clients that ask for less see it (old versions, CBC, no forward
// secrecy), and the serve options it refuses to start with.
#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <thread>

#include "HttpServer.h"
#include "Processes.h"
#include "SqliteStore.h"
#include "StoreAdmin.h"

namespace eqtest {
namespace {

using namespace eqsrv;

// An RSA certificate, so that static-RSA suites would work if the server offered them.
class HttpsPolicy : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(MakeCertificate(m_cert, m_key, "rsa:2048")); }
    CTempDir m_dir;
    std::string m_cert = m_dir.Path() + "/cert.pem", m_key = m_dir.Path() + "/key.pem";
};

// The suite a client limited to these versions and TLS 1.2 suites gets; "" when refused. The
// client itself allows everything else (security level 0), so only the server can refuse.
std::string Handshake(int port, int maxVersion, const char* ciphers) {
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_client_method()),
                                                          SSL_CTX_free);
    SSL_CTX_set_security_level(ctx.get(), 0);
    SSL_CTX_set_min_proto_version(ctx.get(), TLS1_VERSION);
    SSL_CTX_set_max_proto_version(ctx.get(), maxVersion);
    if (ciphers != nullptr && SSL_CTX_set_cipher_list(ctx.get(), ciphers) != 1) return "bad list";
    const CFileDescriptor sock(ConnectLoopback(port));
    if (sock.Get() < 0) return "down";
    std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(ctx.get()), SSL_free);
    SSL_set_fd(ssl.get(), sock.Get());
    return SSL_connect(ssl.get()) == 1 ? SSL_get_cipher_name(ssl.get()) : "";
}

TEST_F(HttpsPolicy, OnlyForwardSecretAeadSuitesInTheServersOrder) {
    const std::string db = m_dir.Path() + "/tls.db";
    CAdminDb::Open(db, true)->Migrate();
    CSqliteStore store(db);
    ServerOptions options;
    options.certFile = m_cert;
    options.keyFile = m_key;
    CHttpServer server(options, store);
    const int port = server.Bind();
    std::thread runner([&] { server.Run(); });
    const struct {
        int maxVersion;
        const char* ciphers;
        const char* chosen;
    } cases[] = {
        {TLS1_1_VERSION, "ALL", ""},
        {TLS1_2_VERSION, "ECDHE-RSA-AES128-SHA:ECDHE-RSA-AES256-SHA384", ""},  // CBC
        {TLS1_2_VERSION, "AES128-GCM-SHA256:AES256-GCM-SHA384", ""},           // static RSA
        {TLS1_2_VERSION, "ECDHE-RSA-AES128-GCM-SHA256", "ECDHE-RSA-AES128-GCM-SHA256"},
        // The client's first choice is not the server's.
        {TLS1_2_VERSION, "ECDHE-RSA-AES128-GCM-SHA256:ECDHE-RSA-AES256-GCM-SHA384",
         "ECDHE-RSA-AES256-GCM-SHA384"},
        {TLS1_3_VERSION, nullptr, "TLS_AES_256_GCM_SHA384"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Handshake(port, c.maxVersion, c.ciphers), c.chosen)
            << std::hex << c.maxVersion << " " << (c.ciphers ? c.ciphers : "");
    }
    server.Stop();
    runner.join();
}

// Each is refused with exit status 2 before the store is opened (the file does not exist, so a
// server that went on would fail with 1).
TEST_F(HttpsPolicy, ServeRefusesOptionsOutOfRangeAndUnsafeKeys) {
    const std::string open = m_dir.Path() + "/open.pem";
    std::filesystem::copy_file(m_key, open);
    chmod(open.c_str(), 0644);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--port", "70000"}, "--port"},
        {{"--workers", "100000"}, "--workers"},
        {{"--queue", "10000000"}, "--queue"},
        {{"--max-body", "0"}, "--max-body"},
        {{"--require-auth"}, "--allow-insecure-auth"},
        {{"--cert", m_cert, "--key", open}, "chmod 600 " + open},
    };
    for (const auto& [args, message] : cases) {
        std::vector<std::string> argv = {EQ_TEST_SERVER, "serve", "--db", m_dir.Path() + "/no.db"};
        argv.insert(argv.end(), args.begin(), args.end());
        const Result r = RunProcess(argv);
        EXPECT_EQ(r.exitCode, 2) << args[0] << ": " << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace eqtest
