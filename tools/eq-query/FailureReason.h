// Why the last attempt of a failed query failed, in words a user can act on, from the transport's
// error line in the library's trace log.
#pragma once

#include <string>

namespace eqquery {

// lastError: the last error line the transport logged ("POST to 'URL' failed: WHY"); user: the
// --user given, empty when none. Empty when there is nothing to add to the status text.
std::string FailureReason(const std::string& lastError, const std::string& user);

}  // namespace eqquery
