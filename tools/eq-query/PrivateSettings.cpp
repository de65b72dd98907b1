#include "PrivateSettings.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace eqquery {

CPrivateSettings::~CPrivateSettings() {
    if (!m_local.empty()) unlink(m_local.c_str());
    if (!m_comm.empty()) unlink(m_comm.c_str());
    if (!m_dir.empty()) rmdir(m_dir.c_str());
}

bool CPrivateSettings::Create(const Options& o, std::string& error) {
    // Before the library is loaded: no other thread can change the environment.
    const char* tmp = std::getenv("TMPDIR");  // NOLINT(concurrency-mt-unsafe): one thread
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/eq-query.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        error = "cannot create a private folder in " + pattern;
        return false;
    }
    m_dir = pattern;
    std::string local =
        "[event_query_services]\n"
        "retryInterval = 200\n"
        "retryCeiling = 1000\n"
        "maxServerRetry = 2\n"
        "retryServerLoop = false\n"
        "connectTimeout = 5000\n"
        "shutdownTimeout = 2000\n"
        "\n[agent]\n"
        "agent_id = " +
        AgentId() + "\n";
    std::string comm = "[servers]\n";
    for (const std::string& url : o.servers) comm += "url = " + url + "\n";
    if (!o.caFile.empty()) comm += "\n[transport]\nca_file = " + o.caFile + "\n";
    return Write(m_dir + "/local.ini", local, m_local, error) &&
           Write(m_dir + "/comm.ini", comm, m_comm, error);
}

std::string CPrivateSettings::AgentId() {
    std::ifstream in("/proc/sys/kernel/random/uuid");
    std::string id;
    std::getline(in, id);
    return id.empty() ? "eq-query" : id;
}
bool CPrivateSettings::Write(const std::string& path, const std::string& text, std::string& kept,
                             std::string& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot write " + path;
        return false;
    }
    kept = path;
    const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    if (!ok) error = "cannot write " + path;
    return ok;
}

}  // namespace eqquery
