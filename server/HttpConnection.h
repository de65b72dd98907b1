// One client connection of eq-server, from accept to close: the head and the body read with
// deadlines on the I/O threads, the store work on the worker pool, the answer sent a chunk at a
// time (the next chunk is made only once the previous one is sent).
#pragma once

#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <memory>
#include <string>

#include "AccessLog.h"
#include "ConnectionLimiter.h"
#include "EventStore.h"
#include "HttpServer.h"
#include "Metrics.h"
#include "ServerLog.h"
#include "WorkerPool.h"

namespace eqsrv {

// What every connection shares; it outlives them all.
struct ServerContext {
    const ServerOptions& options;
    CEventStore& store;
    CWorkerPool& pool;
    CRefusalBursts& bursts;
    std::string busyBody;  // the 503 answer, made once
    CMetrics& metrics;
    std::shared_ptr<CAccessLog> accessLog;  // null: none; swapped with std::atomic_store
    std::atomic<size_t> inFlight{0};        // requests read whose answer is not done
    std::atomic<bool> draining{false};      // stopping: no new requests on open connections
};

// Serves the accepted socket (on its own strand) until the connection ends; tls null: plain HTTP.
// The connection holds tls until it closes, whatever context later connections get.
void ServeConnection(boost::asio::ip::tcp::socket socket, std::string address,
                     std::unique_ptr<CConnectionLimiter::CTicket> ticket,
                     std::shared_ptr<boost::asio::ssl::context> tls, ServerContext& context);

}  // namespace eqsrv
