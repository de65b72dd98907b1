// The wire side of eq-server: a posted document read into a store query, and the answer written
// back, both with the project's CML classes so that server and library read the same vocabulary.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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

// The answer to a request, written piece by piece as the store hands out rows, so that memory
// does not grow with the size of the answer: first the envelope and the response's start tag
// (count and cursors), then the items a batch at a time, then the end tags.
class CAnswerWriter {
public:
    // Runs the query; throws std::runtime_error when the store fails. A row holding a value that
    // XML cannot carry is left out, and log gets a line saying which.
    CAnswerWriter(const ParsedRequest& request, CEventStore& store,
                  std::function<void(const std::string&)> log = {});
    ~CAnswerWriter();
    CAnswerWriter(const CAnswerWriter&) = delete;
    CAnswerWriter& operator=(const CAnswerWriter&) = delete;
    // Replaces text with the next piece; false when the whole document has been handed out.
    bool Next(std::string& text);
    // Items handed out so far.
    size_t Items() const { return m_uItems; }

private:
    enum class Stage { Head, Items, Tail, Done };
    std::vector<std::string> m_filter;
    std::function<void(const std::string&)> m_log;
    std::unique_ptr<CRowReader> m_reader;
    std::wstring m_itemTag;
    std::string m_head, m_tail;
    uint32_t m_uLevel = 0;  // indentation level of the items
    size_t m_uItems = 0;
    Stage m_stage = Stage::Head;
};

// The whole answer as one text (small answers, tests).
std::string AnswerRequest(const ParsedRequest& request, CEventStore& store);

// A compound message holding one response of the request's kind (vulnerabilities when the kind
// cannot be told) with no items, the HTTP status as its code and the reason as its text.
std::string ErrorDocument(const Refusal& refusal, QueryKind kind = QueryKind::Vulnerabilities,
                          const std::wstring& requestId = L"");

// Cursor text of a position, and back; false for a text that is not one of ours.
std::string EncodeCursor(const Position& position);
bool DecodeCursor(const std::string& text, Position& position);

}  // namespace eqsrv
