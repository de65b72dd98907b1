// eq-server's access log: one logfmt line per request, written when its answer is done. Agent id
// and user come from the client, so every value is quoted and escaped where needed: a line can
// never be split in two nor get a field the server did not write. Passwords never reach it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace eqsrv {

struct RequestRecord {
    std::string client;  // source address
    std::string agent, user;
    std::string kind = "-";  // vulnerabilities, observances, or - before the document was read
    int status = 0;
    size_t items = 0;
    size_t bytes = 0;  // of the answer's document, without the HTTP framing
    double seconds = 0;
};

// A logfmt value: as it is when it holds nothing but printable ASCII other than space, '"', '=';
// otherwise in double quotes with '"', '\' and control characters escaped.
std::string LogfmtValue(const std::string& text);

class CAccessLog {
public:
    // path "-": standard output. Throws when the file cannot be opened for appending.
    explicit CAccessLog(std::string path);
    ~CAccessLog();
    CAccessLog(const CAccessLog&) = delete;
    CAccessLog& operator=(const CAccessLog&) = delete;

    void Write(const RequestRecord& record);
    // Opens the file again (after logrotate moved it); false with error set keeps the old one.
    bool Reopen(std::string& error);
    const std::string& Path() const { return m_path; }

private:
    const std::string m_path;
    std::mutex m_mutex;
    FILE* m_file = nullptr;
};

}  // namespace eqsrv
