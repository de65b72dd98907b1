#include "FailureReason.h"

#include <cerrno>
#include <cstdlib>

namespace eqquery {

namespace {

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The text after "failed: ", without the trailing "(status 0x...)".
std::string Why(const std::string& line) {
    const size_t start = line.find("failed: ");
    std::string why = start == std::string::npos ? line : line.substr(start + 8);
    const size_t status = why.rfind(" (status 0x");
    if (status != std::string::npos) why.erase(status);
    return why;
}

// The seconds of a Retry-After value, or "" when the server sent no such number (an HTTP date
// or anything out of range is not worth a guess).
std::string RetryAfterSeconds(const std::string& why) {
    const size_t at = why.find("Retry-After: ");
    if (at == std::string::npos) return "";
    const char* text = why.c_str() + at + 13;
    char* end = nullptr;
    errno = 0;
    const long long seconds = std::strtoll(text, &end, 10);
    if (end == text || errno == ERANGE || seconds < 0) return "";
    return std::to_string(seconds);
}

}  // namespace

std::string FailureReason(const std::string& lastError, const std::string& user) {
    if (lastError.empty()) return "";
    const std::string why = Why(lastError);
    if (Has(why, "HTTP status 401") || Has(why, "HTTP status 403")) {
        return user.empty() ? "the server requires credentials: give them with --user"
                            : "the server refused the credentials for user " + user;
    }
    if (Has(why, "HTTP status 429")) {
        const std::string after = RetryAfterSeconds(why);
        return "the server refuses further attempts for now after too many refused logins" +
               (after.empty() ? std::string() : "; retry after " + after + " s");
    }
    if (Has(why, "certificate") || Has(why, "SSL")) {
        return "TLS: " + why +
               " (a server certificate signed by a private CA is trusted with --ca-file)";
    }
    return "last attempt: " + why;
}

}  // namespace eqquery
