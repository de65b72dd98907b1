#include "Processes.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace eqtest {

namespace {

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& t : texts) pointers.push_back(t.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

pid_t Spawn(std::vector<std::string> argv, std::vector<std::string> env, int outFd, int errFd) {
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    if (errFd >= 0) posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    auto args = Pointers(argv);
    auto envp = Pointers(env);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
    return pid;
}

Result RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    const pid_t pid = Spawn(argv, env, out[1], err[1]);
    close(out[1]);
    close(err[1]);
    Result result;
    // Both pipes at once, so that a full one never blocks the child.
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0 && poll(fds, 2, -1) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[65536];
            const ssize_t n = read(fds[i].fd, buffer, sizeof(buffer));
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::string DemoDb(const std::string& db) {
    const Result r = RunProcess({EQ_TEST_SERVER, "demo-db", db, "--end", std::to_string(kEnd)});
    if (r.exitCode != 0) throw std::runtime_error("demo-db failed: " + r.err);
    return db;
}

CServerProcess::CServerProcess(std::vector<std::string> serveArgs, int port) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    serveArgs.insert(serveArgs.begin(), {EQ_TEST_SERVER, "serve", "--port", std::to_string(port)});
    m_pid = Spawn(serveArgs, {}, out[1], -1);
    close(out[1]);
    // The server prints its URL once it listens; reading the line waits for exactly that.
    char c = 0;
    while (read(out[0], &c, 1) == 1 && c != '\n') m_url += c;
    close(out[0]);
    if (m_url.rfind("http", 0) != 0) throw std::runtime_error("eq-server did not start");
}

CServerProcess::~CServerProcess() {
    if (m_pid < 0) return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
}

void CServerProcess::Kill() {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

int CServerProcess::Port() const { return std::atoi(m_url.substr(m_url.rfind(':') + 1).c_str()); }

bool CServerProcess::Running() const { return waitpid(m_pid, nullptr, WNOHANG) == 0; }

int ConnectLoopback(int port, int receiveBuffer) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0)
        return fd;
    if (fd >= 0) close(fd);
    return -1;
}

CTempDir::CTempDir() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/eq-test.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    m_path = pattern;
}

CTempDir::~CTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

}  // namespace eqtest
