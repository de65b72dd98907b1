// Dump files of the last request and response, written to the current directory when the
// setting "dumpEnabled" is on. Best effort: a file that cannot be written is skipped silently.
#pragma once

#include <cstddef>
#include <fstream>

namespace zavEventQuery {

inline constexpr char kRequestDumpFile[] = "eq_dump_event_query_req.txt";
inline constexpr char kResponseDumpFile[] = "eq_dump_event_query_resp.txt";

inline void WriteDumpFile(const char* name, const char* data, std::size_t length) {
    std::ofstream file(name, std::ios::binary | std::ios::trunc);
    if (file) {
        file.write(data, static_cast<std::streamsize>(length));
    }
}

}  // namespace zavEventQuery
