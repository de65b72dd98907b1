// What the test server reads and writes, with the project's own CML classes: a post read back
// into a flat field map, so that tests compare only what they care about, and answers built the
// way a server builds them.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace eqit {

struct PostedRequest {
    std::string path;
    std::string contentType;
    std::string body;
    // Empty when the body was read as one compound message holding one event query request.
    std::string error{};
    // "element", "namespace", "schema-version", "request-id", "message-id", "need-reply",
    // "source" (name|namespace|ip|host|agent-id|auth-token|auth-hash), "count", "start-time",
    // "end-time", "filter" (names joined by "|", "(none)" when empty), "fixed",
    // "address-range" (start|end|type), "group-id", "analysis" (source|target|sensor),
    // "observance-type" (type-id-list|exclude).
    std::map<std::string, std::string> fields{};
    std::string answer{};  // the body the server answered with

    const std::string& Field(const std::string& name) const;
};

// Reads body; never throws (a failure lands in error).
PostedRequest ReadPostedRequest(std::string path, std::string contentType, std::string body);

struct QueryResponse {
    bool vulnerabilities = true;  // get-vulnerabilities-response, else get-observances-response
    // Result id and its (name, value) pairs, per item.
    std::vector<std::pair<std::wstring, std::vector<std::pair<std::wstring, std::wstring>>>> items;
    std::wstring requestId;
};

// One compound message holding the responses in order.
std::string BuildResponseDocument(const std::vector<QueryResponse>& responses);

}  // namespace eqit
