#include "HttpServer.h"

#include "TlsPolicy.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <iostream>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace eqsrv {

namespace {

// Set on the threads that only turn connections away.
thread_local bool t_overflow = false;

// A fixed number of workers and a bounded number of connections in flight (queued or served).
// Connections beyond that go to one overflow thread whose answer is always 503, so a client
// learns at once to come back later instead of waiting in an unbounded queue.
class CBoundedPool : public httplib::TaskQueue {
public:
    CBoundedPool(size_t workers, size_t queue) : m_uLimit(workers + queue) {
        for (size_t i = 0; i < workers; ++i) m_threads.emplace_back([this] { Work(false); });
        m_threads.emplace_back([this] { Work(true); });
    }

    void enqueue(std::function<void()> fn) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_uActive < m_uLimit) {
                ++m_uActive;
                m_tasks.push_back(std::move(fn));
            } else {
                m_overflow.push_back(std::move(fn));
            }
        }
        m_wake.notify_all();
    }

    void shutdown() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bStop = true;
        }
        m_wake.notify_all();
        for (std::thread& thread : m_threads) thread.join();
    }

private:
    void Work(bool overflow) {
        t_overflow = overflow;
        auto& tasks = overflow ? m_overflow : m_tasks;
        for (;;) {
            std::function<void()> fn;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [&] { return m_bStop || !tasks.empty(); });
                if (tasks.empty()) return;
                fn = std::move(tasks.front());
                tasks.pop_front();
            }
            fn();
            if (!overflow) {
                std::lock_guard<std::mutex> lock(m_mutex);
                --m_uActive;
            }
        }
    }

    const size_t m_uLimit;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    std::deque<std::function<void()>> m_overflow;
    size_t m_uActive = 0;
    bool m_bStop = false;
    std::vector<std::thread> m_threads;
};

// Names and agent ids come from clients: a control character must not start a line of its own
// in the log.
std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '\\') {
            char hex[5];
            std::snprintf(hex, sizeof(hex), "\\x%02x", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

void Log(const std::string& agent, int status, const std::string& text) {
    static std::mutex mutex;
    const time_t now = time(nullptr);
    tm parts{};
    gmtime_r(&now, &parts);
    char stamp[32];
    std::strftime(stamp, sizeof(stamp), "%Y-%m-%dT%H:%M:%SZ", &parts);
    std::lock_guard<std::mutex> lock(mutex);
    std::cerr << stamp << " agent=" << (agent.empty() ? "-" : Escaped(agent))
              << " status=" << status << " " << Escaped(text) << std::endl;
}

void Answer(httplib::Response& response, int status, std::string body) {
    response.status = status;
    response.set_content(std::move(body), kContentType);
}

}  // namespace

CHttpServer::CHttpServer(ServerOptions options, CEventStore& store)
    : m_options(std::move(options)), m_store(store) {
    if (!m_options.certFile.empty() || !m_options.keyFile.empty()) {
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
        // The setup callback, not the file constructor: that one leaves protocol versions and
        // suites to the system's defaults.
        std::string error;
        m_server = std::make_unique<httplib::SSLServer>([&](SSL_CTX& ctx) {
            return SetUpTls(ctx, m_options.certFile, m_options.keyFile, error);
        });
        if (!m_server->is_valid()) {
            throw std::runtime_error(error.empty() ? "cannot set up TLS" : error);
        }
#else
        throw std::runtime_error("this build has no HTTPS support");
#endif
    } else {
        m_server = std::make_unique<httplib::Server>();
    }
    const size_t workers = m_options.workers == 0 ? 1 : m_options.workers;
    const size_t queue = m_options.queue;
    m_server->new_task_queue = [workers, queue] { return new CBoundedPool(workers, queue); };
    m_server->set_payload_max_length(m_options.maxBody);
    // An answer leaves in several writes (headers, chunks): with Nagle on, each kept-alive answer
    // would wait for the client's delayed ACK. The option is set on the listening socket, and
    // Linux hands it on to every accepted one.
    m_server->set_tcp_nodelay(true);
    m_server->set_keep_alive_timeout(m_options.keepAliveTimeout);
    m_server->set_keep_alive_max_count(m_options.keepAliveMax);
    // Answers are data for the library, never a page: a browser that is pointed at the server
    // must not guess HTML from them nor run anything in them.
    m_server->set_default_headers(
        {{"X-Content-Type-Options", "nosniff"}, {"Content-Security-Policy", "default-src 'none'"}});
    m_server->set_pre_routing_handler([](const httplib::Request&, httplib::Response& response) {
        if (!t_overflow) return httplib::Server::HandlerResponse::Unhandled;
        response.set_header("Retry-After", "1");
        Answer(response, 503, ErrorDocument({503, "server busy"}));
        return httplib::Server::HandlerResponse::Handled;
    });
    m_server->Post(kQueryPath, [this](const httplib::Request& request,
                                      httplib::Response& response) { Handle(request, response); });
    m_server->set_error_handler([](const httplib::Request& request, httplib::Response& response) {
        // Statuses set by cpp-httplib itself (413 body too large, 404 other paths, 400 bad
        // HTTP) keep their status and get a CML body instead of an empty or HTML one.
        if (response.body.empty()) {
            Answer(response, response.status,
                   ErrorDocument({response.status, response.status == 413
                                                       ? "request body too large"
                                                       : "no such resource " + request.path}));
        }
    });
}

CHttpServer::~CHttpServer() = default;

int CHttpServer::Bind() {
    int port = m_options.port;
    if (port == 0) {
        port = m_server->bind_to_any_port(m_options.host);
    } else if (!m_server->bind_to_port(m_options.host, port)) {
        port = -1;
    }
    if (port <= 0) throw std::runtime_error("cannot bind " + m_options.host);
    return port;
}

void CHttpServer::Run() { m_server->listen_after_bind(); }

void CHttpServer::Stop() { m_server->stop(); }

bool CHttpServer::Authenticate(const httplib::Request& request, const ParsedRequest& parsed,
                               httplib::Response& response) {
    AuthVerdict verdict;
    if (parsed.user.empty()) {
        verdict = {401, 0, {"credentials required"}};
    } else {
        try {
            verdict = m_options.authenticate(request.remote_addr, parsed.user, parsed.password);
        } catch (const std::exception& e) {
            verdict = {500, 0, {e.what()}};
        }
    }
    if (verdict.status == 200) return true;
    for (const std::string& line : verdict.log) Log(parsed.agentId, verdict.status, line);
    // The same text for an unknown user and a wrong password; the name is in the log only.
    Refusal refusal{verdict.status, verdict.status == 429   ? "too many refused attempts"
                                    : verdict.status == 500 ? "cannot check credentials"
                                    : parsed.user.empty()   ? "credentials required"
                                                            : "bad credentials"};
    if (verdict.status == 429) {
        response.set_header("Retry-After", std::to_string(verdict.retryAfter));
    }
    Answer(response, refusal.status, ErrorDocument(refusal, parsed.query.kind, parsed.requestId));
    return false;
}

void CHttpServer::Handle(const httplib::Request& request, httplib::Response& response) {
    ParsedRequest parsed;
    Refusal refusal;
    if (!ReadRequest(request.body, m_options.limits, parsed, refusal)) {
        Log(parsed.agentId, refusal.status, refusal.text);
        Answer(response, refusal.status,
               ErrorDocument(refusal, parsed.query.kind, parsed.requestId));
        return;
    }
    if (m_options.authenticate && !Authenticate(request, parsed, response)) return;
    // The query runs here, so that a store failure can still be answered with a status; the
    // rows are then written as they are read, in chunks.
    std::shared_ptr<CAnswerWriter> writer;
    try {
        writer = std::make_shared<CAnswerWriter>(
            parsed, m_store,
            [agent = parsed.agentId](const std::string& text) { Log(agent, 200, text); });
    } catch (const std::exception& e) {
        refusal = {500, e.what()};
        Log(parsed.agentId, refusal.status, refusal.text);
        Answer(response, refusal.status,
               ErrorDocument(refusal, parsed.query.kind, parsed.requestId));
        return;
    }
    response.status = 200;
    const std::string agent = parsed.agentId;
    response.set_chunked_content_provider(
        kContentType, [writer, agent](size_t, httplib::DataSink& sink) {
            // Nothing may leave this function: it runs inside cpp-httplib's connection loop.
            try {
                std::string piece;
                while (writer->Next(piece)) {
                    if (!piece.empty() && !sink.write(piece.data(), piece.size())) return false;
                }
                sink.done();
                return true;
            } catch (const std::exception& e) {
                // The status is sent already: dropping the connection is all that is left.
                Log(agent, 500, std::string("answer broken off: ") + e.what());
                return false;
            }
        });
}

}  // namespace eqsrv
