// A wide-area link on one machine: a TCP proxy on 127.0.0.1 in front of a server that holds every
// chunk half a round trip in each direction, and the first chunk of a new connection one round
// trip more (the TCP handshake a real client pays before it can send). Bytes keep their order;
// a half-close is passed on once what came before it has been delivered.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zavbench {

class CDelayProxy {
public:
    CDelayProxy(int targetPort, std::chrono::microseconds roundTrip);
    ~CDelayProxy();
    CDelayProxy(const CDelayProxy&) = delete;
    CDelayProxy& operator=(const CDelayProxy&) = delete;

    int Port() const { return m_port; }
    // Connections accepted so far.
    int Connections() const { return m_connections.load(); }

private:
    struct SLink;
    void Accept();
    void Serve(int client);

    int m_targetPort;
    std::chrono::microseconds m_roundTrip;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::mutex m_mutex;
    std::vector<std::thread> m_threads;
    std::vector<int> m_sockets;  // shut down on destruction so that every thread ends
    std::thread m_acceptor;
};

}  // namespace zavbench
