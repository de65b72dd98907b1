#include "FailureReason.h"

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

}  // namespace

std::string FailureReason(const std::string& lastError, const std::string& user) {
    if (lastError.empty()) return "";
    const std::string why = Why(lastError);
    if (Has(why, "HTTP status 401") || Has(why, "HTTP status 403")) {
        return user.empty() ? "the server requires credentials: give them with --user"
                            : "the server refused the credentials for user " + user;
    }
    if (Has(why, "HTTP status 429")) {
        const size_t at = why.find("Retry-After: ");
        const std::string after =
            at == std::string::npos ? "" : std::to_string(std::atol(why.c_str() + at + 13));
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
