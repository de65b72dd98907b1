// Dump files of the last request and response, written to the current directory when the
// setting "dumpEnabled" is on. Best effort: a file that cannot be written is skipped silently.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace zavEventQuery {

inline constexpr char kRequestDumpFile[] = "eq_dump_event_query_req.txt";
inline constexpr char kResponseDumpFile[] = "eq_dump_event_query_resp.txt";

// The request holds the credentials, so a dump is for the owner only and is never written through
// a link planted at its name: a symbolic link fails the open, a FIFO cannot block it, and an
// existing file is truncated only when it is a regular file of ours with no other name.
inline void WriteDumpFile(const char* name, const char* data, std::size_t length) {
    struct CFile {
        int fd;
        ~CFile() {
            if (fd >= 0) {
                close(fd);
            }
        }
    } file{open(name, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600)};
    struct stat info {};
    if (file.fd < 0 || fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1 ||
        fchmod(file.fd, 0600) != 0 || ftruncate(file.fd, 0) != 0) {
        return;
    }
    while (length > 0) {
        const ssize_t written = write(file.fd, data, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
}

}  // namespace zavEventQuery
