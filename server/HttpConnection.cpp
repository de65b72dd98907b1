#include "HttpConnection.h"

#include <boost/asio/post.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <chrono>
#include <optional>
#include <type_traits>

#include "Protocol.h"

namespace eqsrv {

namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using std::chrono::seconds;

constexpr size_t kHeaderLimit = size_t{16} * 1024;

template <class Message>
void SetHeaders(Message& message, bool keepAlive) {
    message.version(11);
    message.set(http::field::content_type, kContentType);
    // Answers are data for the library, never a page: a browser that is pointed at the server
    // must not guess HTML from them nor run anything in them.
    message.set("X-Content-Type-Options", "nosniff");
    message.set("Content-Security-Policy", "default-src 'none'");
    message.keep_alive(keepAlive);
}

// A path quoted in an answer: short, and nothing but printable ASCII.
std::string Quoted(beast::string_view path) {
    std::string out;
    for (const char c : path.substr(0, 200)) {
        const auto byte = static_cast<unsigned char>(c);
        out += byte < 0x20 || byte >= 0x7f ? '?' : c;
    }
    return out;
}

const char* KindName(QueryKind kind) {
    return kind == QueryKind::Observances ? "observances" : "vulnerabilities";
}

bool IsHttpError(const beast::error_code& ec) {
    return ec.category() == http::make_error_code(http::error::bad_target).category() &&
           ec != http::error::end_of_stream;
}

template <class Stream>
class CConnection : public std::enable_shared_from_this<CConnection<Stream>> {
    static constexpr bool kTls = !std::is_same_v<Stream, beast::tcp_stream>;

public:
    template <class... StreamArgs>
    CConnection(ServerContext& context, std::string address,
                std::unique_ptr<CConnectionLimiter::CTicket> ticket,
                std::shared_ptr<net::ssl::context> tls, StreamArgs&&... args)
        : m_context(context),
          m_options(context.options),
          m_address(std::move(address)),
          m_ticket(std::move(ticket)),
          m_tls(std::move(tls)),
          m_stream(std::forward<StreamArgs>(args)...) {}

    void Start() {
        if constexpr (kTls) {
            Lowest().expires_after(seconds(m_options.headerTimeout));
            m_stream.async_handshake(net::ssl::stream_base::server,
                                     [self = Self()](const beast::error_code& ec) {
                                         if (ec)
                                             return self->Failed(ec, CRefusalBursts::HeaderTimeout);
                                         self->WaitRequest();
                                     });
        } else {
            WaitRequest();
        }
    }

private:
    std::shared_ptr<CConnection> Self() { return this->shared_from_this(); }
    beast::tcp_stream& Lowest() { return beast::get_lowest_layer(m_stream); }

    // An idle connection waits for a request's first byte: the keep-alive timeout between
    // requests, the head's deadline before the first one.
    void WaitRequest() {
        if (m_context.draining) return Close();
        if (m_buffer.size() > 0) return ReadHead();
        const bool first = m_uRequests == 0;
        Lowest().expires_after(
            seconds(first ? m_options.headerTimeout : m_options.keepAliveTimeout));
        m_stream.async_read_some(
            m_buffer.prepare(4096), [self = Self(), first](const beast::error_code& ec, size_t n) {
                if (ec) {
                    return self->Failed(
                        ec, first ? CRefusalBursts::HeaderTimeout : CRefusalBursts::Kinds);
                }
                self->m_buffer.commit(n);
                self->ReadHead();
            });
    }

    void ReadHead() {
        m_started = std::chrono::steady_clock::now();
        m_record = RequestRecord{};
        m_record.client = m_address;
        m_bRecording = true;
        m_parser.emplace();
        m_parser->body_limit(m_options.maxBody);
        m_parser->header_limit(kHeaderLimit);
        Lowest().expires_after(seconds(m_options.headerTimeout));
        http::async_read_header(m_stream, m_buffer, *m_parser,
                                [self = Self()](const beast::error_code& ec, size_t) {
                                    if (ec) return self->Failed(ec, CRefusalBursts::HeaderTimeout);
                                    self->OnHead();
                                });
    }

    void OnHead() {
        auto& request = m_parser->get();
        const auto length = m_parser->content_length();
        if (length && *length > m_options.maxBody) {
            // Refused before the body is read: the connection cannot be used again.
            m_bKeepAlive = false;
            return Reply(413, ErrorDocument({413, "request body too large"}));
        }
        if (beast::iequals(request[http::field::expect], "100-continue")) {
            m_continue.emplace(http::status::continue_, 11);
            return http::async_write(m_stream, *m_continue,
                                     [self = Self()](const beast::error_code& ec, size_t) {
                                         if (ec) return self->Close();
                                         self->ReadBody();
                                     });
        }
        ReadBody();
    }

    void ReadBody() {
        Lowest().expires_after(seconds(m_options.bodyTimeout));
        http::async_read(m_stream, m_buffer, *m_parser,
                         [self = Self()](const beast::error_code& ec, size_t) {
                             if (ec) return self->Failed(ec, CRefusalBursts::BodyTimeout);
                             self->OnRequest();
                         });
    }

    // A read that ended without a request: timeouts are counted, HTTP that cannot be read is
    // answered, everything else just closes.
    void Failed(const beast::error_code& ec, CRefusalBursts::Kind timeout) {
        if (ec == beast::error::timeout) {
            if (timeout != CRefusalBursts::Kinds) m_context.bursts.Refused(timeout);
            return Close();
        }
        m_bKeepAlive = false;
        if (ec == http::error::body_limit) {
            return Reply(413, ErrorDocument({413, "request body too large"}));
        }
        if (IsHttpError(ec)) return Reply(400, ErrorDocument({400, "bad HTTP request"}));
        Close();
    }

    void OnRequest() {
        ++m_uRequests;
        ++m_context.inFlight;
        m_bInFlight = true;
        auto& request = m_parser->get();
        m_bKeepAlive =
            request.keep_alive() && m_uRequests < m_options.keepAliveMax && !m_context.draining;
        Lowest().expires_never();  // the store work has no deadline of the client's
        const beast::string_view target = request.target();
        const beast::string_view path = target.substr(0, target.find('?'));
        if (request.method() != http::verb::post || path != kQueryPath) {
            return Reply(404, ErrorDocument({404, "no such resource " + Quoted(path)}));
        }
        if (!m_context.pool.Admit([self = Self()] { self->Answer(); })) {
            m_context.bursts.Refused(CRefusalBursts::Busy);
            return Reply(503, m_context.busyBody, "1");
        }
    }

    // On a worker, with a slot.
    void Answer() {
        ParsedRequest parsed;
        Refusal refusal;
        std::string document;
        m_retryAfter.clear();
        const std::string body = std::move(m_parser->get().body());
        const bool read = ReadRequest(body, m_options.limits, parsed, refusal);
        m_record.agent = parsed.agentId;
        m_record.user = parsed.user;
        if (read) m_record.kind = KindName(parsed.query.kind);
        if (!read) {
            Log(parsed.agentId, refusal.status, refusal.text);
            document = ErrorDocument(refusal, parsed.query.kind, parsed.requestId);
        } else if (!m_options.authenticate || Authenticate(parsed, refusal, document)) {
            try {
                m_agent = parsed.agentId;
                m_writer = std::make_unique<CAnswerWriter>(
                    parsed, m_context.store,
                    [agent = parsed.agentId](const std::string& text) { Log(agent, 200, text); });
                m_record.status = 200;
                return Produce();
            } catch (const std::exception& e) {
                refusal = {500, e.what()};
                Log(parsed.agentId, refusal.status, refusal.text);
                document = ErrorDocument(refusal, parsed.query.kind, parsed.requestId);
            }
        }
        m_context.pool.Release();
        net::post(m_stream.get_executor(),
                  [self = Self(), status = refusal.status, document = std::move(document),
                   retry = std::move(m_retryAfter)]() mutable {
                      self->Reply(status, std::move(document), retry);
                  });
    }

    // On a worker: false with refusal and document set when the request is refused.
    bool Authenticate(const ParsedRequest& parsed, Refusal& refusal, std::string& document) {
        AuthVerdict verdict;
        if (parsed.user.empty()) {
            verdict = {401, 0, {"credentials required"}};
        } else {
            try {
                verdict = m_options.authenticate(m_address, parsed.user, parsed.password);
            } catch (const std::exception& e) {
                verdict = {500, 0, {e.what()}};
            }
        }
        if (verdict.status == 200) return true;
        for (const std::string& line : verdict.log) Log(parsed.agentId, verdict.status, line);
        // The same text for an unknown user and a wrong password; the name is in the log only.
        refusal = {verdict.status, verdict.status == 429   ? "too many refused attempts"
                                   : verdict.status == 500 ? "cannot check credentials"
                                   : parsed.user.empty()   ? "credentials required"
                                                           : "bad credentials"};
        if (verdict.status == 429) m_retryAfter = std::to_string(verdict.retryAfter);
        document = ErrorDocument(refusal, parsed.query.kind, parsed.requestId);
        return false;
    }

    // On a worker: the next piece of the answer, handed to the I/O side.
    void Produce() {
        std::string piece;
        bool more = false;
        try {
            do {
                more = m_writer->Next(piece);
            } while (more && piece.empty());
        } catch (const std::exception& e) {
            // The status may be sent already: dropping the connection is all that is left.
            Log(m_agent, 500, std::string("answer broken off: ") + e.what());
            m_record.status = 500;
            m_record.items = m_writer->Items();
            Finish();
            return net::post(m_stream.get_executor(), [self = Self()] {
                self->Record();
                self->Settle();
                self->Close();
            });
        }
        m_record.items = m_writer->Items();
        if (!more) Finish();
        net::post(m_stream.get_executor(),
                  [self = Self(), piece = std::move(piece), more]() mutable {
                      self->Send(std::move(piece), more);
                  });
    }

    // On a worker: the store is let go and the slot handed on.
    void Finish() {
        m_writer.reset();
        m_context.pool.Release();
    }

    void Send(std::string piece, bool more) {
        m_piece = std::move(piece);
        m_record.bytes += m_piece.size();
        m_bWriting = more;
        Lowest().expires_after(seconds(m_options.bodyTimeout));
        auto sent = [self = Self(), more](const beast::error_code& ec, size_t) {
            if (ec) return self->Broken();
            if (!more) {
                self->Record();  // only when the answer had no piece
                self->Settle();
                return self->AfterAnswer();
            }
            self->m_context.pool.Post([self] { self->Produce(); });
        };
        if (m_head) {
            if (more)
                return net::async_write(m_stream, http::make_chunk(net::buffer(m_piece)), sent);
            Record();
            return net::async_write(m_stream, http::make_chunk_last(), sent);
        }
        m_head.emplace(http::status::ok, 11);
        SetHeaders(*m_head, m_bKeepAlive);
        m_head->chunked(true);
        m_headWriter.emplace(*m_head);
        http::async_write_header(
            m_stream, *m_headWriter,
            [self = Self(), more, sent](const beast::error_code& ec, size_t n) mutable {
                if (ec) return self->Broken();
                if (!more) return sent(ec, n);  // an answer without a piece cannot happen
                net::async_write(self->m_stream, http::make_chunk(net::buffer(self->m_piece)),
                                 std::move(sent));
            });
    }

    // A write failed while the answer still holds the store: a worker lets it go.
    void Broken() {
        if (m_bWriting) m_context.pool.Post([self = Self()] { self->Finish(); });
        m_bWriting = false;
        Record();
        Settle();
        Close();
    }

    void Reply(int status, std::string document, const std::string& retryAfter = {}) {
        m_record.status = status;
        m_record.bytes = document.size();
        m_reply.emplace(static_cast<http::status>(status), 11);
        SetHeaders(*m_reply, m_bKeepAlive);
        if (!retryAfter.empty()) m_reply->set(http::field::retry_after, retryAfter);
        m_reply->body() = std::move(document);
        m_reply->prepare_payload();
        Lowest().expires_after(seconds(m_options.bodyTimeout));
        Record();
        http::async_write(m_stream, *m_reply, [self = Self()](const beast::error_code& ec, size_t) {
            self->Settle();
            if (ec) return self->Close();
            self->AfterAnswer();
        });
    }

    // The request's access-log line and counters, once, as its last write starts: a client that
    // has its answer finds them written.
    void Record() {
        if (!m_bRecording) return;
        m_bRecording = false;
        m_record.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
        m_context.metrics.Record(m_record);
        if (const auto log = std::atomic_load(&m_context.accessLog)) log->Write(m_record);
    }

    // The answer is sent or given up: a stop need not wait for it any more.
    void Settle() {
        if (m_bInFlight) --m_context.inFlight;
        m_bInFlight = false;
    }

    void AfterAnswer() {
        m_head.reset();
        m_headWriter.reset();
        m_reply.reset();
        m_parser.reset();
        if (!m_bKeepAlive) return Close();
        WaitRequest();
    }

    void Close() {
        beast::error_code ignored;
        Lowest().socket().shutdown(net::ip::tcp::socket::shutdown_both, ignored);
        Lowest().close();
    }

    ServerContext& m_context;
    const ServerOptions& m_options;
    const std::string m_address;
    const std::unique_ptr<CConnectionLimiter::CTicket> m_ticket;
    const std::shared_ptr<net::ssl::context> m_tls;  // the one this connection started with
    Stream m_stream;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::optional<http::response<http::empty_body>> m_continue;
    std::optional<http::response<http::string_body>> m_reply;
    std::optional<http::response<http::empty_body>> m_head;
    std::optional<http::response_serializer<http::empty_body>> m_headWriter;
    size_t m_uRequests = 0;
    bool m_bKeepAlive = true;
    // Owned by a worker from Admit until Finish, by the I/O side in between pieces.
    std::unique_ptr<CAnswerWriter> m_writer;
    std::string m_agent, m_retryAfter, m_piece;
    bool m_bWriting = false;  // the writer is alive while a piece is sent
    // The request under way, for the access log and the metrics.
    RequestRecord m_record;
    std::chrono::steady_clock::time_point m_started;
    bool m_bRecording = false;  // from its first byte until Record
    bool m_bInFlight = false;   // counted in the context's inFlight until Settle
};

}  // namespace

void ServeConnection(net::ip::tcp::socket socket, std::string address,
                     std::unique_ptr<CConnectionLimiter::CTicket> ticket,
                     std::shared_ptr<net::ssl::context> tls, ServerContext& context) {
    if (tls) {
        net::ssl::context& ssl = *tls;
        std::make_shared<CConnection<beast::ssl_stream<beast::tcp_stream>>>(
            context, std::move(address), std::move(ticket), std::move(tls), std::move(socket), ssl)
            ->Start();
    } else {
        std::make_shared<CConnection<beast::tcp_stream>>(
            context, std::move(address), std::move(ticket), nullptr, std::move(socket))
            ->Start();
    }
}

}  // namespace eqsrv
