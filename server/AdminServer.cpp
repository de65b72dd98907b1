#include "AdminServer.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace eqsrv {

namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using net::ip::tcp;

// Asks the store a query that touches it but finds nothing, on a thread of its own so that a
// store that hangs makes /healthz answer 503 after a second instead of hanging too.
class CHealthProbe {
public:
    explicit CHealthProbe(CEventStore& store) : m_store(store), m_thread([this] { Work(); }) {}
    ~CHealthProbe() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bStop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    CHealthProbe(const CHealthProbe&) = delete;
    CHealthProbe& operator=(const CHealthProbe&) = delete;

    // "" when the store answered within the time; else why not.
    std::string Check(std::chrono::milliseconds within) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_bBusy) return "store still busy with the previous check";
        const uint64_t round = ++m_uAsked;
        m_bBusy = true;
        m_wake.notify_all();
        if (!m_wake.wait_for(lock, within, [&] { return m_uAnswered == round; })) {
            return "store did not answer within " + std::to_string(within.count()) + " ms";
        }
        return m_problem;
    }

private:
    void Work() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_bStop || m_uAsked != m_uAnswered; });
            if (m_bStop) return;
            const uint64_t round = m_uAsked;
            lock.unlock();
            std::string problem;
            try {
                StoreQuery query;
                query.from = 1;
                query.to = 0;  // an empty time range: no row can match
                query.limit = 1;
                Row row;
                m_store.Open(query)->Next(row);
            } catch (const std::exception& e) {
                problem = std::string("store failed: ") + e.what();
            }
            lock.lock();
            m_problem = problem;
            m_uAnswered = round;
            m_bBusy = false;
            m_wake.notify_all();
        }
    }

    CEventStore& m_store;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    uint64_t m_uAsked = 0, m_uAnswered = 0;
    bool m_bBusy = false, m_bStop = false;
    std::string m_problem;
    std::thread m_thread;  // last: started once the rest is ready
};

class CAdminConnection : public std::enable_shared_from_this<CAdminConnection> {
public:
    CAdminConnection(tcp::socket socket, CHealthProbe& probe,
                     const std::function<std::string()>& metrics)
        : m_stream(std::move(socket)), m_probe(probe), m_metrics(metrics) {}

    void Start() {
        m_stream.expires_after(std::chrono::seconds(10));
        http::async_read(m_stream, m_buffer, m_request,
                         [self = shared_from_this()](const beast::error_code& ec, size_t) {
                             if (!ec) self->Answer();
                         });
    }

private:
    void Answer() {
        const beast::string_view target = m_request.target();
        const beast::string_view path = target.substr(0, target.find('?'));
        m_response.version(11);
        m_response.keep_alive(false);
        m_response.set(http::field::content_type, "text/plain; charset=utf-8");
        if (m_request.method() != http::verb::get) {
            m_response.result(http::status::method_not_allowed);
            m_response.body() = "GET only\n";
        } else if (path == "/healthz") {
            const std::string problem = m_probe.Check(std::chrono::seconds(1));
            m_response.result(problem.empty() ? http::status::ok
                                              : http::status::service_unavailable);
            m_response.body() = (problem.empty() ? "ok" : problem) + "\n";
        } else if (path == "/metrics") {
            m_response.result(http::status::ok);
            m_response.set(http::field::content_type, "text/plain; version=0.0.4; charset=utf-8");
            m_response.body() = m_metrics();
        } else {
            m_response.result(http::status::not_found);
            m_response.body() = "/healthz or /metrics\n";
        }
        m_response.prepare_payload();
        http::async_write(m_stream, m_response,
                          [self = shared_from_this()](const beast::error_code&, size_t) {
                              beast::error_code ignored;
                              self->m_stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
                          });
    }

    beast::tcp_stream m_stream;
    CHealthProbe& m_probe;
    const std::function<std::string()>& m_metrics;
    beast::flat_buffer m_buffer;
    http::request<http::empty_body> m_request;
    http::response<http::string_body> m_response;
};

}  // namespace

bool SplitListen(const std::string& listen, std::string& address, int& port) {
    const size_t colon = listen.rfind(':');
    if (colon == std::string::npos || colon + 1 == listen.size()) return false;
    address = listen.substr(0, colon);
    if (address.size() > 2 && address.front() == '[' && address.back() == ']') {
        address = address.substr(1, address.size() - 2);
    }
    const std::string digits = listen.substr(colon + 1);
    if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    port = std::stoi(digits);
    boost::system::error_code ec;
    net::ip::make_address(address, ec);
    return !ec && port <= 65535;
}

struct CAdminServer::CImpl {
    CImpl(CEventStore& store, std::function<std::string()> render)
        : probe(store), metrics(std::move(render)) {}

    void Accept() {
        acceptor.async_accept([this](const boost::system::error_code& ec, tcp::socket socket) {
            if (ec == net::error::operation_aborted) return;
            if (!ec) std::make_shared<CAdminConnection>(std::move(socket), probe, metrics)->Start();
            Accept();
        });
    }

    CHealthProbe probe;
    const std::function<std::string()> metrics;
    net::io_context io;
    tcp::acceptor acceptor{io};
    std::thread thread;
};

CAdminServer::CAdminServer(const std::string& listen, CEventStore& store,
                           std::function<std::string()> metrics)
    : m_impl(std::make_unique<CImpl>(store, std::move(metrics))) {
    std::string address;
    int port = 0;
    if (!SplitListen(listen, address, port)) {
        throw std::runtime_error("--admin-listen " + listen + ": not ADDRESS:PORT");
    }
    const tcp::endpoint endpoint(net::ip::make_address(address), static_cast<uint16_t>(port));
    boost::system::error_code ec;
    m_impl->acceptor.open(endpoint.protocol(), ec);
    if (!ec) m_impl->acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) m_impl->acceptor.bind(endpoint, ec);
    if (!ec) m_impl->acceptor.listen(net::socket_base::max_listen_connections, ec);
    if (ec) throw std::runtime_error("cannot bind --admin-listen " + listen + ": " + ec.message());
    m_impl->Accept();
    m_impl->thread = std::thread([impl = m_impl.get()] { impl->io.run(); });
}

CAdminServer::~CAdminServer() {
    m_impl->io.stop();
    m_impl->thread.join();
}

int CAdminServer::Port() const { return m_impl->acceptor.local_endpoint().port(); }

}  // namespace eqsrv
