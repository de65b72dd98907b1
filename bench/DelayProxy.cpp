#include "DelayProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <stdexcept>

namespace zavbench {

namespace {

using Clock = std::chrono::steady_clock;

// The proxy must not add a delayed-ACK stall of its own to what it measures.
void NoDelay(int socket) {
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// One direction of a connection: chunks read from one socket, written to the other once their
// time has come. An empty chunk is the end of the stream.
class CDirection {
public:
    CDirection(int from, int to, std::chrono::microseconds delay, Clock::time_point notBefore)
        : m_from(from), m_to(to), m_delay(delay), m_notBefore(notBefore) {}

    void Read() {
        char buffer[64 * 1024];
        for (;;) {
            const ssize_t n = read(m_from, buffer, sizeof buffer);
            const Clock::time_point now = Clock::now();
            std::lock_guard<std::mutex> lock(m_mutex);
            m_chunks.emplace_back(std::max(now, m_notBefore) + m_delay,
                                  n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "");
            m_wake.notify_one();
            if (n <= 0) return;
        }
    }

    void Write() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return !m_chunks.empty(); });
            const auto due = m_chunks.front().first;
            const std::string data = std::move(m_chunks.front().second);
            m_chunks.pop_front();
            lock.unlock();
            std::this_thread::sleep_until(due);
            if (data.empty()) {
                shutdown(m_to, SHUT_WR);
                return;
            }
            for (size_t sent = 0; sent < data.size();) {
                const ssize_t n = write(m_to, data.data() + sent, data.size() - sent);
                if (n <= 0) {
                    shutdown(m_from, SHUT_RD);  // the reader ends; what it still queues is dropped
                    lock.lock();
                    m_wake.wait(lock, [this] {
                        return !m_chunks.empty() && m_chunks.back().second.empty();
                    });
                    return;
                }
                sent += static_cast<size_t>(n);
            }
            lock.lock();
        }
    }

private:
    int m_from, m_to;
    std::chrono::microseconds m_delay;
    Clock::time_point m_notBefore;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::pair<Clock::time_point, std::string>> m_chunks;
};

}  // namespace

struct CDelayProxy::SLink {
    int client = -1, server = -1;
    std::unique_ptr<CDirection> up, down;
};

CDelayProxy::CDelayProxy(int targetPort, std::chrono::microseconds roundTrip)
    : m_targetPort(targetPort), m_roundTrip(roundTrip) {
    m_listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(m_listener, 64) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("delay proxy: cannot listen");
    }
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { Accept(); });
}

CDelayProxy::~CDelayProxy() {
    m_stop = true;
    shutdown(m_listener, SHUT_RDWR);
    m_acceptor.join();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int socket : m_sockets) shutdown(socket, SHUT_RDWR);
    }
    for (std::thread& thread : m_threads) thread.join();
    for (int socket : m_sockets) close(socket);
    close(m_listener);
}

void CDelayProxy::Accept() {
    for (;;) {
        const int client = accept(m_listener, nullptr, nullptr);
        if (client < 0) {
            if (m_stop) return;
            continue;
        }
        ++m_connections;
        Serve(client);
    }
}

void CDelayProxy::Serve(int client) {
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(m_targetPort));
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sockets.push_back(client);
    m_sockets.push_back(server);
    if (server < 0 || connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        shutdown(client, SHUT_RDWR);
        return;
    }
    NoDelay(client);
    NoDelay(server);
    const auto half = m_roundTrip / 2;
    // The client's first bytes could only leave once its handshake had taken a round trip.
    auto link = std::make_shared<SLink>();
    link->client = client;
    link->server = server;
    link->up = std::make_unique<CDirection>(client, server, half, Clock::now() + m_roundTrip);
    link->down = std::make_unique<CDirection>(server, client, half, Clock::time_point{});
    m_threads.emplace_back([link] { link->up->Read(); });
    m_threads.emplace_back([link] { link->up->Write(); });
    m_threads.emplace_back([link] { link->down->Read(); });
    m_threads.emplace_back([link] { link->down->Write(); });
}

}  // namespace zavbench
