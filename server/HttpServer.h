// eq-server's HTTP side: one POST path, a bounded worker pool (503 beyond it), a body limit (413
// before parsing), CML error documents for requests that cannot be answered.
#pragma once

#include <httplib.h>

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
    size_t queue = 32;  // connections waiting for a worker before 503
    size_t maxBody = 1024 * 1024;
    // An idle kept-alive connection holds a worker: keep the wait short.
    int keepAliveTimeout = 5;   // seconds
    size_t keepAliveMax = 100;  // requests per connection
    ServerLimits limits;
    // Checks the source address, user and password of a request; empty: no authentication.
    std::function<AuthVerdict(const std::string&, const std::string&, const std::string&)>
        authenticate;
    std::string certFile;  // both set: HTTPS
    std::string keyFile;
};

class CHttpServer {
public:
    CHttpServer(ServerOptions options, CEventStore& store);
    ~CHttpServer();
    CHttpServer(const CHttpServer&) = delete;
    CHttpServer& operator=(const CHttpServer&) = delete;

    // Binds; returns the port (the chosen one when options.port is 0). Throws when it cannot.
    int Bind();
    // Serves until Stop() (from another thread or a signal watcher).
    void Run();
    void Stop();

private:
    void Handle(const httplib::Request& request, httplib::Response& response);
    // False when the request was refused (and answered).
    bool Authenticate(const httplib::Request& request, const ParsedRequest& parsed,
                      httplib::Response& response);

    ServerOptions m_options;
    CEventStore& m_store;
    std::unique_ptr<httplib::Server> m_server;
};

}  // namespace eqsrv
