// eq-server's HTTP side on an event loop (Boost.Beast on Asio): one or two I/O threads read every
// connection with deadlines, a complete request goes to the bounded worker pool (503 beyond it),
// and the answer streams back in chunks, each made only after the previous one was sent. An open
// connection costs a descriptor and a buffer, never a thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "EventStore.h"
#include "Protocol.h"
#include "UserCheck.h"

namespace eqsrv {

inline constexpr char kQueryPath[] = "/zav/event_query_services";
inline constexpr char kContentType[] = "application/x-zav-cml-data; charset=UTF-8";

struct ServerOptions {
    std::string host = "127.0.0.1";
    int port = 0;  // 0: any free port
    size_t workers = 8;
    size_t queue = 32;  // complete requests waiting for a worker before 503
    size_t maxBody = size_t{1024} * 1024;
    int keepAliveTimeout = 60;  // seconds an idle kept-alive connection stays open
    size_t keepAliveMax = 100;  // requests per connection
    size_t maxConnections = 1024;
    size_t maxConnectionsPerAddress = 64;
    int headerTimeout = 10;  // seconds from a request's first byte to the end of its head
    int bodyTimeout = 30;    // seconds for the whole body, and for each piece of an answer
    ServerLimits limits;
    // Checks the source address, user and password of a request; empty: no authentication.
    std::function<AuthVerdict(const std::string&, const std::string&, const std::string&)>
        authenticate;
    std::string certFile;  // both set: HTTPS
    std::string keyFile;
    std::string accessLog;  // file, "-" for standard output, "" for none
};

class CHttpServer {
public:
    // Throws when the TLS files cannot be used.
    CHttpServer(ServerOptions options, CEventStore& store);
    ~CHttpServer();
    CHttpServer(const CHttpServer&) = delete;
    CHttpServer& operator=(const CHttpServer&) = delete;

    // Binds; returns the port (the chosen one when options.port is 0). Throws when it cannot.
    int Bind();
    // Serves until Stop() (from another thread or a signal watcher; also before Run).
    void Run();
    void Stop();
    // Stops accepting, lets the answers under way finish for up to timeout, then stops; from any
    // thread, also before Run.
    void Drain(std::chrono::seconds timeout);
    // New connections get the new certificate and key, open ones keep theirs. False, with error
    // set and the old ones kept, when they cannot be used or the server is plain HTTP.
    bool ReloadTls(const std::string& certFile, const std::string& keyFile, std::string& error);
    // Reopens the access log, or opens another ("" for none); false with error set keeps it.
    bool ReloadAccessLog(const std::string& path, std::string& error);
    // The counters and gauges in the Prometheus text format.
    std::string Metrics();

private:
    struct CImpl;
    std::unique_ptr<CImpl> m_impl;
};

}  // namespace eqsrv
