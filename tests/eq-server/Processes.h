// Real processes for the end-to-end tests: eq-query runs to completion with its output captured;
// eq-server runs until the object goes, its URL read from the first line it prints.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace eqtest {

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs argv[0] with the extra environment entries ("NAME=value") and waits for it.
Result RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});

class CServerProcess {
public:
    // port 0: any free port.
    explicit CServerProcess(std::vector<std::string> serveArgs, int port = 0);
    ~CServerProcess();
    CServerProcess(const CServerProcess&) = delete;
    CServerProcess& operator=(const CServerProcess&) = delete;
    const std::string& Url() const { return m_url; }
    int Port() const;
    pid_t Pid() const { return m_pid; }
    bool Running() const;
    // Gone at once, as in a crash: nothing is answered or closed in order.
    void Kill();

private:
    pid_t m_pid = -1;
    std::string m_url;
};

// An open descriptor, closed with the object.
struct CFd {
    explicit CFd(int f) : fd(f) {}
    ~CFd();
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int fd;
};

// A TCP connection to 127.0.0.1:port, or -1; receiveBuffer 0 keeps the system's size.
int ConnectLoopback(int port, int receiveBuffer = 0);

#ifdef EQ_TEST_OPENSSL
// A self-signed certificate for 127.0.0.1 with a new key ("ec" for P-256, or "rsa:2048").
inline bool MakeCertificate(const std::string& cert, const std::string& key,
                            const std::string& keyType) {
    std::vector<std::string> argv = {EQ_TEST_OPENSSL, "req", "-x509", "-newkey", keyType};
    if (keyType == "ec") argv.insert(argv.end(), {"-pkeyopt", "ec_paramgen_curve:prime256v1"});
    argv.insert(argv.end(), {"-nodes", "-days", "1", "-subj", "/CN=127.0.0.1", "-addext",
                             "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert});
    return RunProcess(argv).exitCode == 0;
}
#endif

// A private folder removed with the object.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace eqtest
