#include "HttpServer.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ConnectionLimiter.h"
#include "HttpConnection.h"
#include "ServerLog.h"
#include "TlsPolicy.h"
#include "WorkerPool.h"

namespace eqsrv {

namespace net = boost::asio;
using net::ip::tcp;

namespace {

// Two threads keep TLS handshakes from holding up everything else; more buy nothing, the
// threads only move bytes.
size_t IoThreads() { return std::thread::hardware_concurrency() > 1 ? 2 : 1; }

std::vector<std::string> BurstTexts(const ServerOptions& options) {
    std::vector<std::string> texts(CRefusalBursts::Kinds);
    texts[CRefusalBursts::TotalConnections] =
        "connections over --max-connections " + std::to_string(options.maxConnections);
    texts[CRefusalBursts::AddressConnections] = "connections over --max-connections-per-address " +
                                                std::to_string(options.maxConnectionsPerAddress);
    texts[CRefusalBursts::Busy] = "requests with 503, all workers busy and the queue full";
    texts[CRefusalBursts::HeaderTimeout] =
        "connections whose request head took over --header-timeout " +
        std::to_string(options.headerTimeout) + " s";
    texts[CRefusalBursts::BodyTimeout] =
        "connections whose request body took over --body-timeout " +
        std::to_string(options.bodyTimeout) + " s";
    return texts;
}

}  // namespace

struct CHttpServer::CImpl {
    CImpl(ServerOptions opts, CEventStore& store)
        : options(std::move(opts)),
          bursts(BurstTexts(options)),
          limiter(std::make_shared<CConnectionLimiter>(options.maxConnections,
                                                       options.maxConnectionsPerAddress)),
          acceptor(io),
          ticker(io),
          pool(options.workers, options.queue),
          context{options, store, pool, bursts, ErrorDocument({503, "server busy"})} {
        if (options.certFile.empty() && options.keyFile.empty()) return;
        tls.emplace(net::ssl::context::tls_server);
        std::string error;
        if (!SetUpTls(*tls->native_handle(), options.certFile, options.keyFile, error)) {
            throw std::runtime_error(error.empty() ? "cannot set up TLS" : error);
        }
    }

    void Accept() {
        acceptor.async_accept(
            net::make_strand(io), [this](const boost::system::error_code& ec, tcp::socket socket) {
                if (ec == net::error::operation_aborted) return;
                if (ec) {
                    // Out of descriptors, most likely: try again shortly rather than spin.
                    retry.expires_after(std::chrono::milliseconds(100));
                    return retry.async_wait([this](const boost::system::error_code& wait) {
                        if (!wait) Accept();
                    });
                }
                Accept();
                boost::system::error_code ignored;
                // An answer leaves in several writes (head, chunks): with Nagle on, each would wait
                // for the client's delayed ACK.
                socket.set_option(tcp::no_delay(true), ignored);
                const auto remote = socket.remote_endpoint(ignored);
                const std::string address = remote.address().to_string();
                std::unique_ptr<CConnectionLimiter::CTicket> ticket;
                switch (limiter->Admit(address, ticket)) {
                    case CConnectionLimiter::Verdict::OverTotal:
                        bursts.Refused(CRefusalBursts::TotalConnections);
                        return;  // the socket closes as it goes
                    case CConnectionLimiter::Verdict::OverAddress:
                        bursts.Refused(CRefusalBursts::AddressConnections);
                        return;
                    case CConnectionLimiter::Verdict::Admitted:
                        break;
                }
                ServeConnection(std::move(socket), address, std::move(ticket),
                                tls ? &*tls : nullptr, context);
            });
    }

    void Tick() {
        ticker.expires_after(std::chrono::seconds(1));
        ticker.async_wait([this](const boost::system::error_code& ec) {
            if (ec) return;
            bursts.Tick();
            Tick();
        });
    }

    const ServerOptions options;
    CRefusalBursts bursts;
    std::shared_ptr<CConnectionLimiter> limiter;
    std::optional<net::ssl::context> tls;
    // Connections live in the handlers the loop holds; they go with it, before what they use.
    net::io_context io;
    tcp::acceptor acceptor;
    net::steady_timer ticker;
    net::steady_timer retry{io};
    CWorkerPool pool;
    ServerContext context;
};

CHttpServer::CHttpServer(ServerOptions options, CEventStore& store)
    : m_impl(std::make_unique<CImpl>(std::move(options), store)) {}

CHttpServer::~CHttpServer() {
    // The workers first: their tasks hold connections.
    m_impl->pool.Stop();
}

int CHttpServer::Bind() {
    CImpl& impl = *m_impl;
    boost::system::error_code ec;
    const auto address = net::ip::make_address(impl.options.host, ec);
    if (!ec) {
        const tcp::endpoint endpoint(address, static_cast<unsigned short>(impl.options.port));
        impl.acceptor.open(endpoint.protocol(), ec);
        if (!ec) impl.acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
        if (!ec) impl.acceptor.bind(endpoint, ec);
        if (!ec) impl.acceptor.listen(net::socket_base::max_listen_connections, ec);
    }
    if (ec) throw std::runtime_error("cannot bind " + impl.options.host + ": " + ec.message());
    return impl.acceptor.local_endpoint().port();
}

void CHttpServer::Run() {
    CImpl& impl = *m_impl;
    impl.Accept();
    impl.Tick();
    std::vector<std::thread> threads;
    for (size_t i = 1; i < IoThreads(); ++i) threads.emplace_back([&impl] { impl.io.run(); });
    impl.io.run();
    for (std::thread& thread : threads) thread.join();
}

void CHttpServer::Stop() { m_impl->io.stop(); }

}  // namespace eqsrv
