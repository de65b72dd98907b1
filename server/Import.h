// eq-server import: the user's own rows from CSV (with a header line) or JSON Lines, all in one
// transaction, so that a file with one bad line loads nothing.
#pragma once

#include <stdexcept>
#include <string>

namespace eqsrv {

// The longest line import reads (without its line end); a longer one is refused.
inline constexpr size_t kMaxImportLine = size_t{64} * 1024;

// "FILE:LINE: what"
class CImportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// kind: hosts, groups, memberships, vulnerabilities or observances. format: csv or jsonl (empty:
// from the file name). Returns the number of rows loaded; throws CImportError.
size_t ImportFile(const std::string& dbPath, const std::string& kind, const std::string& file,
                  std::string format);

}  // namespace eqsrv
