#include "PgCluster.h"

#include "PgStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <stdexcept>

namespace eqtest {

namespace {

std::vector<std::string> AsOwner(std::vector<std::string> argv) {
    if (geteuid() == 0) {
        argv.insert(argv.begin(),
                    {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    }
    return argv;
}

}  // namespace

std::string CPgCluster::BinDir() {
    namespace fs = std::filesystem;
    std::string best;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", error)) {
        const std::string bin = entry.path().string() + "/bin";
        if (access((bin + "/initdb").c_str(), X_OK) == 0 &&
            access((bin + "/pg_ctl").c_str(), X_OK) == 0 && bin > best) {
            best = bin;
        }
    }
    return best;
}

CPgCluster& CPgCluster::Shared() {
    static CPgCluster cluster;
    return cluster;
}

CPgCluster::CPgCluster(std::string settings) : m_bin(BinDir()), m_settings(std::move(settings)) {
    if (m_bin.empty()) throw std::runtime_error("PostgreSQL server programs not found");
    // The socket file is named after the port; the folder is private, so any number will do.
    m_port = 20000 + static_cast<int>(std::random_device()() % 20000);
    if (geteuid() == 0 && chown(m_dir.Path().c_str(), 65534, 65534) != 0) {
        throw std::runtime_error("cannot hand " + m_dir.Path() + " to nobody");
    }
    chmod(m_dir.Path().c_str(), 0755);
    const Result init = RunProcess(AsOwner({m_bin + "/initdb", "-D", m_dir.Path() + "/data", "-U",
                                            "eq", "--auth=trust", "--no-sync", "-E", "UTF8"}));
    if (init.exitCode != 0) throw std::runtime_error("initdb failed: " + init.err);
    Start();
    Watch();
}

CPgCluster::~CPgCluster() {
    Stop();
    if (m_watchdog > 0) {
        close(m_lifeline);
        waitpid(m_watchdog, nullptr, 0);
    }
}

// A test process that crashes or is killed (a timeout) runs no destructor: a small shell waits
// for the end of a pipe only this process holds, then stops the cluster and removes its folder.
void CPgCluster::Watch() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    // The pipe's read end is the shell's standard output, which only the read uses.
    std::vector<std::string> argv = {
        "/bin/sh", "-c", "read line <&1; \"$@\" >/dev/null 2>&1; rm -rf \"$0\"", m_dir.Path()};
    for (const std::string& a : AsOwner({m_bin + "/pg_ctl", "-D", m_dir.Path() + "/data", "-m",
                                         "immediate", "-w", "-s", "stop"})) {
        argv.push_back(a);
    }
    try {
        m_watchdog = Spawn(argv, {}, fds[0], -1);
    } catch (...) {
        close(fds[0]);
        close(fds[1]);
        throw;
    }
    close(fds[0]);
    m_lifeline = fds[1];
}

void CPgCluster::Control(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {m_bin + "/pg_ctl", "-D", m_dir.Path() + "/data", "-w", "-s"};
    argv.insert(argv.end(), args.begin(), args.end());
    const Result r = RunProcess(AsOwner(argv));
    if (r.exitCode != 0) throw std::runtime_error("pg_ctl " + args.back() + " failed: " + r.err);
}

void CPgCluster::Start() {
    // Durability is not under test: no fsync keeps start, load and restart quick.
    Control({"-l", m_dir.Path() + "/postgres.log", "-o",
             "-k " + m_dir.Path() + " -p " + std::to_string(m_port) +
                 " -c listen_addresses= -c fsync=off -c synchronous_commit=off"
                 " -c full_page_writes=off -c max_connections=60 -c shared_buffers=32MB " +
                 m_settings,
             "start"});
    m_bRunning = true;
}

void CPgCluster::Restart() {
    Control({"-m", "fast", "stop"});
    m_bRunning = false;
    Start();
}

void CPgCluster::Stop() {
    if (!m_bRunning) return;
    m_bRunning = false;
    try {
        Control({"-m", "immediate", "stop"});
    } catch (const std::exception&) {
        // The folder goes anyway.
    }
}

std::string CPgCluster::Url(const std::string& database) const {
    return "postgresql:///" + database + "?host=" + m_dir.Path() +
           "&port=" + std::to_string(m_port) + "&user=eq";
}

std::string CPgCluster::CreateDatabase(const std::string& name) {
    eqsrv::CPgConn(Url("postgres")).Exec("CREATE DATABASE " + name);
    return Url(name);
}

}  // namespace eqtest
