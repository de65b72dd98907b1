#include "EventQueryTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "Journal.h"

namespace eqit {

CEventQueryTestServer::CEventQueryTestServer(Responder responder, int port)
    : m_responder(responder ? std::move(responder) : [](const PostedRequest&) {
          return Reply{200, BuildResponseDocument({QueryResponse{}})};
      }) {
    m_server.set_keep_alive_timeout(1);
    m_server.Post(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
        PostedRequest posted =
            ReadPostedRequest(request.path, request.get_header_value("Content-Type"), request.body);
        Reply reply;
        CJournal::Get().Update([&] {
            reply = m_responder(posted);
            posted.answer = reply.body;
            m_posts.push_back(std::move(posted));
        });
        if (reply.hold) {
            CJournal::Get().WaitUntil([this] { return m_bReleased; }, std::chrono::seconds(60));
        }
        response.status = reply.status;
        response.set_content(reply.body, "application/x-zav-cml-data; charset=UTF-8");
    });
    m_iPort = port == 0 ? m_server.bind_to_any_port("127.0.0.1")
                        : (m_server.bind_to_port("127.0.0.1", port) ? port : -1);
    if (m_iPort <= 0) throw std::runtime_error("test server cannot bind");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    // An answer proves the accept loop runs, so that stop() cannot come too early.
    httplib::Client("127.0.0.1", m_iPort).Get("/");
}

CEventQueryTestServer::~CEventQueryTestServer() {
    Release();
    m_server.stop();
    m_thread.join();
}

void CEventQueryTestServer::SetResponder(Responder responder) {
    CJournal::Get().Update([&] { m_responder = std::move(responder); });
}

void CEventQueryTestServer::Release() {
    CJournal::Get().Update([this] { m_bReleased = true; });
}

std::vector<PostedRequest> CEventQueryTestServer::Posts() const {
    std::vector<PostedRequest> posts;
    CJournal::Get().Update([&] { posts = m_posts; });
    return posts;
}

bool CEventQueryTestServer::WaitForPosts(size_t count) const {
    return CJournal::Get().WaitUntil([&] { return m_posts.size() >= count; });
}

CRefusingPort::CRefusingPort() : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        Close();
        throw std::runtime_error("cannot bind a refusing port");
    }
    m_iPort = ntohs(address.sin_port);
}

void CRefusingPort::Close() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
}

}  // namespace eqit
