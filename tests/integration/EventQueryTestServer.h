// An Event Query Server on 127.0.0.1: it records every post and answers with what the test's
// responder returns, optionally holding the answer until released.
#pragma once

#include <httplib.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ServerDocuments.h"

namespace eqit {

struct Reply {
    int status = 200;
    std::string body;
    bool hold = false;  // answer only after Release()
};

class CEventQueryTestServer {
public:
    // Runs under the journal's lock: it must not wait.
    using Responder = std::function<Reply(const PostedRequest&)>;

    // The default responder answers with an empty vulnerabilities response; port 0 picks one.
    explicit CEventQueryTestServer(Responder responder = {}, int port = 0);
    ~CEventQueryTestServer();

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_iPort); }
    void SetResponder(Responder responder);
    // Lets held answers go out, now and later.
    void Release();
    // A copy of the posts so far (answered or held), taken under the journal's lock.
    std::vector<PostedRequest> Posts() const;
    bool WaitForPosts(size_t count) const;

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_iPort = 0;
    // Guarded by the journal's lock.
    Responder m_responder;
    std::vector<PostedRequest> m_posts;
    bool m_bReleased = false;
};

// A port bound on 127.0.0.1 but not listening: connections to it are refused. Close() frees the
// port so that a server can take it.
class CRefusingPort {
public:
    CRefusingPort();
    ~CRefusingPort() { Close(); }
    CRefusingPort(const CRefusingPort&) = delete;
    CRefusingPort& operator=(const CRefusingPort&) = delete;
    int Port() const { return m_iPort; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_iPort); }
    void Close();

private:
    int m_fd = -1;
    int m_iPort = 0;
};

}  // namespace eqit
