// Event Query Server answers built with the project's own CML classes.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace eqit {

struct ResultItem {
    std::wstring id;
    std::vector<std::pair<std::wstring, std::wstring>> data;
};

struct QueryResponse {
    bool vulnerabilities = true;  // get-vulnerabilities-response, else get-observances-response
    std::vector<ResultItem> items;
    std::wstring requestId;
};

// One compound message holding the responses in order.
std::string BuildResponseDocument(const std::vector<QueryResponse>& responses);

// A compound message whose body holds one vulnerabilities response with the items.
inline std::string VulnerabilitiesDocument(std::vector<ResultItem> items) {
    return BuildResponseDocument({QueryResponse{true, std::move(items), L""}});
}

}  // namespace eqit
