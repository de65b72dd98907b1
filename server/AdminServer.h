// eq-server's admin listener, apart from the query port so that it can stay on loopback (or a
// management network): GET /healthz for load balancers and GET /metrics for Prometheus. Plain
// HTTP, one thread of its own, one request per connection.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "EventStore.h"

namespace eqsrv {

class CAdminServer {
public:
    // listen: "ADDRESS:PORT" (IPv6 in brackets); port 0 picks a free one. metrics renders the
    // text of /metrics. Throws when it cannot bind.
    CAdminServer(const std::string& listen, CEventStore& store,
                 std::function<std::string()> metrics);
    ~CAdminServer();
    CAdminServer(const CAdminServer&) = delete;
    CAdminServer& operator=(const CAdminServer&) = delete;

    int Port() const;

private:
    struct CImpl;
    std::unique_ptr<CImpl> m_impl;
};

// Splits "ADDRESS:PORT" ("[::1]:9464" for IPv6); false when it is not one.
bool SplitListen(const std::string& listen, std::string& address, int& port);

}  // namespace eqsrv
