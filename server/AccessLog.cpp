#include "AccessLog.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <system_error>

namespace eqsrv {

namespace {

FILE* OpenForAppend(const std::string& path, std::string& error) {
    if (path == "-") return stdout;
    FILE* file = std::fopen(path.c_str(), "ae");
    if (file == nullptr)
        error = "cannot open access log " + path + ": " + std::generic_category().message(errno);
    return file;
}

void CloseUnlessStdout(FILE* file) {
    if (file != nullptr && file != stdout) std::fclose(file);
}

}  // namespace

std::string LogfmtValue(const std::string& text) {
    bool plain = !text.empty();
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        plain = plain && byte > 0x20 && byte < 0x7f && c != '"' && c != '=' && c != '\\';
    }
    if (plain) return text;
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "\\u%04x", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

CAccessLog::CAccessLog(std::string path) : m_path(std::move(path)) {
    std::string error;
    m_file = OpenForAppend(m_path, error);
    if (m_file == nullptr) throw std::runtime_error(error);
}

CAccessLog::~CAccessLog() { CloseUnlessStdout(m_file); }

void CAccessLog::Write(const RequestRecord& r) {
    const time_t now = time(nullptr);
    tm parts{};
    gmtime_r(&now, &parts);
    char stamp[32];
    std::strftime(stamp, sizeof(stamp), "%Y-%m-%dT%H:%M:%SZ", &parts);
    char ms[32];
    std::snprintf(ms, sizeof(ms), "%.1f", r.seconds * 1000);
    const std::string line = std::string("time=") + stamp + " client=" + LogfmtValue(r.client) +
                             " agent=" + LogfmtValue(r.agent) + " user=" + LogfmtValue(r.user) +
                             " kind=" + LogfmtValue(r.kind) +
                             " status=" + std::to_string(r.status) +
                             " items=" + std::to_string(r.items) +
                             " bytes=" + std::to_string(r.bytes) + " ms=" + ms + "\n";
    std::lock_guard<std::mutex> lock(m_mutex);
    std::fputs(line.c_str(), m_file);
    std::fflush(m_file);
}

bool CAccessLog::Reopen(std::string& error) {
    FILE* file = OpenForAppend(m_path, error);
    if (file == nullptr) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (file != m_file) CloseUnlessStdout(m_file);
    m_file = file;
    return true;
}

}  // namespace eqsrv
