#include "HttpServer.h"

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ConnectionLimiter.h"
#include "HttpConnection.h"
#include "Metrics.h"
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

// A context with the server's TLS policy and these files; null with error set when they cannot
// be used.
std::shared_ptr<net::ssl::context> MakeTls(const std::string& certFile, const std::string& keyFile,
                                           std::string& error) {
    auto tls = std::make_shared<net::ssl::context>(net::ssl::context::tls_server);
    if (SetUpTls(*tls->native_handle(), certFile, keyFile, error)) return tls;
    if (error.empty()) error = "cannot set up TLS";
    return nullptr;
}

}  // namespace

struct CHttpServer::CImpl {
    CImpl(ServerOptions opts, CEventStore& store)
        : options(std::move(opts)),
          bursts(BurstTexts(options)),
          limiter(std::make_shared<CConnectionLimiter>(options.maxConnections,
                                                       options.maxConnectionsPerAddress)),
          acceptor(net::make_strand(io)),
          ticker(io),
          pool(options.workers, options.queue),
          context{options, store,  pool, bursts, ErrorDocument({503, "server busy"}),
                  metrics, nullptr} {
        if (!options.accessLog.empty()) {
            context.accessLog = std::make_shared<CAccessLog>(options.accessLog);
        }
        if (options.certFile.empty() && options.keyFile.empty()) return;
        std::string error;
        tls = MakeTls(options.certFile, options.keyFile, error);
        if (!tls) throw std::runtime_error(error);
    }

    std::shared_ptr<net::ssl::context> Tls() {
        std::lock_guard<std::mutex> lock(tlsMutex);
        return tls;
    }

    // On the acceptor's strand, every 20 ms until nothing is under way or time is up.
    void WaitDrained(std::chrono::steady_clock::time_point deadline) {
        const size_t left = context.inFlight;
        if (left == 0 || std::chrono::steady_clock::now() >= deadline) {
            if (left > 0) {
                Log("", 503,
                    "stopping: " + std::to_string(left) +
                        " answers still under way at --drain-timeout");
            }
            return io.stop();
        }
        drainTimer.expires_after(std::chrono::milliseconds(20));
        drainTimer.async_wait([this, deadline](const boost::system::error_code& ec) {
            if (!ec) WaitDrained(deadline);
        });
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
                ServeConnection(std::move(socket), address, std::move(ticket), Tls(), context);
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
    CMetrics metrics;
    std::shared_ptr<CConnectionLimiter> limiter;
    // Replaced on reload; open connections hold the one they started with.
    std::mutex tlsMutex;
    std::shared_ptr<net::ssl::context> tls;
    // Connections live in the handlers the loop holds; they go with it, before what they use.
    net::io_context io;
    tcp::acceptor acceptor;  // on a strand of its own, which Drain also uses
    net::steady_timer ticker;
    net::steady_timer retry{acceptor.get_executor()};
    net::steady_timer drainTimer{acceptor.get_executor()};
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

void CHttpServer::Drain(std::chrono::seconds timeout) {
    CImpl& impl = *m_impl;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    net::post(impl.acceptor.get_executor(), [&impl, deadline] {
        impl.context.draining = true;
        boost::system::error_code ignored;
        impl.acceptor.close(ignored);
        Log("", 503,
            "stopping: no new connections, " + std::to_string(impl.context.inFlight) +
                " answers under way");
        impl.WaitDrained(deadline);
    });
}

bool CHttpServer::ReloadTls(const std::string& certFile, const std::string& keyFile,
                            std::string& error) {
    CImpl& impl = *m_impl;
    if (!impl.Tls()) {
        error = "the server runs plain HTTP; restart it to serve HTTPS";
        return false;
    }
    if (certFile.empty() || keyFile.empty()) {
        error = "--cert and --key go together";
        return false;
    }
    error = KeyFileProblem(keyFile);
    if (!error.empty()) return false;
    auto fresh = MakeTls(certFile, keyFile, error);
    if (!fresh) return false;
    std::lock_guard<std::mutex> lock(impl.tlsMutex);
    impl.tls = std::move(fresh);
    return true;
}

bool CHttpServer::ReloadAccessLog(const std::string& path, std::string& error) {
    ServerContext& context = m_impl->context;
    auto current = std::atomic_load(&context.accessLog);
    if (current && current->Path() == path) return current->Reopen(error);
    std::shared_ptr<CAccessLog> fresh;
    if (!path.empty()) {
        try {
            fresh = std::make_shared<CAccessLog>(path);
        } catch (const std::exception& e) {
            error = e.what();
            return false;
        }
    }
    std::atomic_store(&context.accessLog, std::move(fresh));
    return true;
}

std::string CHttpServer::Metrics() {
    CImpl& impl = *m_impl;
    MetricGauges gauges;
    gauges.connections = impl.limiter->Open();
    std::tie(gauges.workersBusy, gauges.workersWaiting) = impl.pool.Load();
    return impl.metrics.Render(gauges);
}

}  // namespace eqsrv
