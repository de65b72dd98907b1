// A private PostgreSQL cluster for the tests and benchmarks: initdb into a temporary folder,
// the server on a unix socket in that folder only (trust authentication, no TCP port), stopped
// and removed with the object. As root it runs as nobody, since PostgreSQL refuses root.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "Processes.h"

namespace eqtest {

class CPgCluster {
public:
    // Empty when the PostgreSQL server programs are not installed.
    static std::string BinDir();
    // The cluster of this test process, started on first use.
    static CPgCluster& Shared();

    // settings: more -c options for the server (the tests' small defaults come first).
    explicit CPgCluster(std::string settings = "");
    ~CPgCluster();
    CPgCluster(const CPgCluster&) = delete;
    CPgCluster& operator=(const CPgCluster&) = delete;

    // A new, empty database; returns its URL.
    std::string CreateDatabase(const std::string& name);
    std::string Url(const std::string& database) const;
    // A fast shutdown and a start again, on the same socket.
    void Restart();
    void Stop();

private:
    void Start();
    void Watch();
    void Control(const std::vector<std::string>& args);

    std::string m_bin;
    std::string m_settings;
    CTempDir m_dir;
    int m_port = 0;
    bool m_bRunning = false;
    pid_t m_watchdog = -1;
    int m_lifeline = -1;  // write end of the watchdog's pipe
};

}  // namespace eqtest
