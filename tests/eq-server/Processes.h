// Real processes for the end-to-end tests: eq-query runs to completion with its output captured;
// eq-server runs until the object goes, its URL read from the first line it prints.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "../../common/CFileDescriptor.h"

namespace eqtest {

using zavCommon::CFileDescriptor;

// The demo data's last instant: fixed, so that every run sees the same rows.
constexpr int64_t kEnd = 1765000000;  // 2025-12-06T05:46:40Z

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Starts argv[0] with outFd as its stdout and errFd (unless -1) as its stderr, stdin /dev/null.
// Descriptors opened close-on-exec stay behind.
pid_t Spawn(std::vector<std::string> argv, std::vector<std::string> env, int outFd, int errFd);

// Runs argv[0] with the extra environment entries ("NAME=value") and waits for it.
Result RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});

// Writes the demo data ending at kEnd into db (an SQLite file or a PostgreSQL URL); returns db.
std::string DemoDb(const std::string& db);

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

// A TCP connection to 127.0.0.1:port, or -1; receiveBuffer 0 keeps the system's size.
int ConnectLoopback(int port, int receiveBuffer = 0);

#ifdef EQ_TEST_OPENSSL
// A self-signed certificate for 127.0.0.1 with a new key ("ec" for P-256, or "rsa:2048").
inline bool MakeCertificate(const std::string& cert, const std::string& key,
                            const std::string& keyType, const std::string& subject = "") {
    std::vector<std::string> argv = {EQ_TEST_OPENSSL, "req", "-x509", "-newkey", keyType};
    if (keyType == "ec") argv.insert(argv.end(), {"-pkeyopt", "ec_paramgen_curve:prime256v1"});
    argv.insert(argv.end(), {"-nodes", "-days", "1", "-subj", "/CN=127.0.0.1" + subject, "-addext",
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
