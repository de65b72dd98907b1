// One post as the test server received it, and the request document read back with the
// project's own CML classes into a flat field map, so that tests compare only what they care
// about.
#pragma once

#include <chrono>
#include <map>
#include <string>

namespace eqit {

struct PostedRequest {
    std::string path;
    std::string contentType;
    std::string body;
    std::chrono::steady_clock::time_point at;
    // Empty when the body was read as one compound message holding one event query request.
    std::string error;
    // "element", "namespace", "schema-version", "request-id", "message-id", "need-reply",
    // "source" (name|namespace|ip|host|agent-id|auth-token|auth-hash), "count", "start-time",
    // "end-time", "filter" (names joined by "|", "(none)" when empty), "fixed",
    // "address-range" (start|end|type), "group-id", "analysis" (source|target|sensor),
    // "observance-type" (type-id-list|exclude).
    std::map<std::string, std::string> fields;

    const std::string& Field(const std::string& name) const;
};

// Reads body; never throws (a failure lands in error).
PostedRequest ReadPostedRequest(std::string path, std::string contentType, std::string body);

}  // namespace eqit
