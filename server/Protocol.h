// The wire side of eq-server: a posted document read into a store query, and the answer written
// back, both with the project's CML classes so that server and library read the same vocabulary.
#pragma once

#include <cstdint>
#include <string>

#include "EventStore.h"

namespace eqsrv {

struct ServerLimits {
    uint32_t maxItems = 100000;  // answer size when a request asks for 0 or more
};

// A request that cannot be answered: the HTTP status and the text of the CML error response.
struct Refusal {
    int status = 0;
    std::string text;
};

struct ParsedRequest {
    StoreQuery query;
    std::vector<std::string> filter;  // names of the pairs to return; empty: all
    std::wstring requestId;
    std::wstring messageId;
    std::string agentId;
    std::string user;      // auth-token of the message source
    std::string password;  // auth-hash of the message source
};

// Reads one compound message holding one event query request. Returns false and fills refusal
// when the document is not one (never throws).
bool ReadRequest(const std::string& body, const ServerLimits& limits, ParsedRequest& out,
                 Refusal& refusal);

// The answer to a request: rows from the store, cursors, the filter applied.
std::string AnswerRequest(const ParsedRequest& request, CEventStore& store);

// A compound message holding one response of the request's kind (vulnerabilities when the kind
// cannot be told) with no items, the HTTP status as its code and the reason as its text.
std::string ErrorDocument(const Refusal& refusal, QueryKind kind = QueryKind::Vulnerabilities,
                          const std::wstring& requestId = L"");

// Cursor text of a position, and back; false for a text that is not one of ours.
std::string EncodeCursor(const Position& position);
bool DecodeCursor(const std::string& text, Position& position);

}  // namespace eqsrv
