#include "Protocol.h"

#include <charconv>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <sstream>

#include "cml/CmlClassFactory.h"
#include "cml/CmlException.h"
#include "cml/CmlMessage.h"
#include "cml/CmlNamespace.h"
#include "cml/CmlParser.h"
#include "cml/CmlReadLimits.h"
#include "cml/CmlResponse.h"
#include "cml/EventQueryMessages/EventQueryMessages.h"
#include "cml/EventQueryMessages/GetObservancesByAddressRequest.h"
#include "cml/EventQueryMessages/GetObservancesByGroupRequest.h"
#include "cml/EventQueryMessages/GetObservancesResponse.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesByAddressRequest.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesByGroupRequest.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesResponse.h"
#include "zavToolsLib/ConvertUTF.h"
#include "zavToolsLib/zavGuid.h"

#include "TextCheck.h"

namespace eqsrv {

using namespace zav::cml;
using zavToolsLib::FromUtf8;
using zavToolsLib::ToUtf8;

namespace {

void RegisterClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterCmlMessage(GetGlobalClassFactory());
        RegisterEventQueryMessages(GetGlobalClassFactory());
    });
}

// Seconds since the epoch of an XML dateTime; false for a missing or unreadable value.
bool ToSeconds(const XmlUtils::CDateTime& time, int64_t& seconds) {
    if (time.IsNull() || time.GetMonth() < 1 || time.GetMonth() > 12 || time.GetDay() < 1 ||
        time.GetDay() > 31) {
        return false;
    }
    tm parts{};
    parts.tm_year = time.GetYear() - 1900;
    parts.tm_mon = time.GetMonth() - 1;
    parts.tm_mday = time.GetDay();
    parts.tm_hour = time.GetHour();
    parts.tm_min = time.GetMinute();
    parts.tm_sec = static_cast<int>(time.GetSeconds());
    seconds = static_cast<int64_t>(timegm(&parts));
    if (time.GetTimeZonePresent()) {
        seconds -= (int64_t{time.GetTimeZoneHours()} * 60 + time.GetTimeZoneMinutes()) * 60;
    }
    return true;
}

bool ParseTypes(const std::string& text, std::vector<int64_t>& types) {
    std::string item;
    std::istringstream in(text);
    while (std::getline(in, item, ',')) {
        if (item.empty()) continue;
        char* end = nullptr;
        const long long value = std::strtoll(item.c_str(), &end, 10);
        if (*end != '\0') return false;
        types.push_back(value);
    }
    return true;
}

bool Refuse(Refusal& refusal, int status, std::string text) {
    refusal = {status, std::move(text)};
    return false;
}

bool ReadAddressRange(const std::wstring& start, const std::wstring& end, const std::wstring& type,
                      StoreQuery& q, Refusal& refusal) {
    if (!type.empty() && type != L"ipv4") {
        return Refuse(refusal, 400, "address type " + ToUtf8(type) + " is not supported");
    }
    const std::string first = ToUtf8(start);
    const std::string last = end.empty() ? first : ToUtf8(end);
    if (!ParseIpv4(first, q.low) || !ParseIpv4(last, q.high) || q.low > q.high) {
        return Refuse(refusal, 400, "bad address range " + first + "-" + last);
    }
    return true;
}

bool ReadQuery(const CEventQueryRequest& request, const ServerLimits& limits, ParsedRequest& out,
               Refusal& refusal) {
    StoreQuery& q = out.query;
    if (!ToSeconds(request.GetStartTime(), q.from) || !ToSeconds(request.GetEndTime(), q.to)) {
        return Refuse(refusal, 400, "bad or missing time range");
    }
    q.limit = request.GetCount() == 0 || request.GetCount() > limits.maxItems ? limits.maxItems
                                                                              : request.GetCount();
    for (const auto& [text, slot] : {std::pair{&request.GetStartCursor(), &q.after},
                                     std::pair{&request.GetEndCursor(), &q.until}}) {
        if (text->empty()) continue;
        Position position;
        if (!DecodeCursor(ToUtf8(*text), position)) return Refuse(refusal, 400, "bad cursor");
        *slot = position;
    }
    for (const std::wstring& name : request.GetResultFilter()) out.filter.push_back(ToUtf8(name));

    if (const auto* v = dynamic_cast<const CGetVulnerabilitiesRequest*>(&request)) {
        q.kind = QueryKind::Vulnerabilities;
        q.fixed = v->GetFixed();
    } else if (const auto* o = dynamic_cast<const CGetObservancesRequest*>(&request)) {
        q.kind = QueryKind::Observances;
        q.source = o->GetSourceAnalysis();
        q.target = o->GetTargetAnalysis();
        q.sensor = o->GetSensorAnalysis();
        q.exclude = o->GetExclude();
        if (!ParseTypes(ToUtf8(o->GetTypeIdList()), q.types)) {
            return Refuse(refusal, 400, "bad observance type id list");
        }
    }
    if (const auto* a = dynamic_cast<const CGetVulnerabilitiesByAddressRequest*>(&request)) {
        return ReadAddressRange(a->GetStartAddress(), a->GetEndAddress(), a->GetAddressType(), q,
                                refusal);
    }
    if (const auto* a = dynamic_cast<const CGetObservancesByAddressRequest*>(&request)) {
        return ReadAddressRange(a->GetStartAddress(), a->GetEndAddress(), a->GetAddressType(), q,
                                refusal);
    }
    q.byGroup = true;
    if (const auto* g = dynamic_cast<const CGetVulnerabilitiesByGroupRequest*>(&request)) {
        q.groupId = ToUtf8(g->GetGroupId());
    } else if (const auto* g = dynamic_cast<const CGetObservancesByGroupRequest*>(&request)) {
        q.groupId = ToUtf8(g->GetGroupId());
    } else {
        return Refuse(refusal, 400, "unknown request " + ToUtf8(request.GetTagName()));
    }
    if (q.groupId.empty()) return Refuse(refusal, 400, "empty group id");
    return true;
}

CAgentInfo ServerAgent() {
    return CAgentInfo(L"urn:zav:eq-server", L"eq-server", L"127.0.0.1", L"", L"", L"", L"");
}

std::wstring NewId() {
    zavToolsLib::CZAVUXGuid guid;
    guid.Generate();
    return FromUtf8(guid.GetText());
}

std::string Write(const CCmlMessage& message) {
    std::ostringstream text;
    message.Serialize(text);
    return text.str();
}

}  // namespace

std::string EncodeCursor(const Position& position) {
    return "c" + std::to_string(position.time) + "." + std::to_string(position.id);
}

bool DecodeCursor(const std::string& text, Position& position) {
    // Exactly what EncodeCursor writes: "c", a number, ".", a number; out of range refused.
    const char* at = text.data();
    const char* end = at + text.size();
    int64_t time = 0;
    int64_t id = 0;
    if (at == end || *at++ != 'c') return false;
    auto parsed = std::from_chars(at, end, time);
    if (parsed.ec != std::errc() || parsed.ptr == end || *parsed.ptr != '.') return false;
    parsed = std::from_chars(parsed.ptr + 1, end, id);
    if (parsed.ec != std::errc() || parsed.ptr != end) return false;
    position = {time, id};
    return true;
}

bool ReadRequest(const std::string& body, const ServerLimits& limits, ParsedRequest& out,
                 Refusal& refusal) {
    try {
        RegisterClasses();
        CCmlReadLimits readLimits;
        readLimits.uMaxResponseSize = static_cast<uint32_t>(body.size() + 1);
        // A request has no result items and needs no deeper nesting than the envelope.
        readLimits.uMaxResultItems = 1;
        std::unique_ptr<CCmlDocumentBase> document = DeserializeBuffer(
            reinterpret_cast<const unsigned char*>(body.data()), body.size(), readLimits);
        const auto* message = dynamic_cast<const CCmlMessage*>(document.get());
        if (message == nullptr) return Refuse(refusal, 400, "not a compound message");
        if (message->GetRequests().size() != 1 || !message->GetRequests()[0]) {
            return Refuse(refusal, 400, "a message must hold exactly one request");
        }
        const CCmlRequest& request = *message->GetRequests()[0];
        if (request.GetTagName().find(L"observances") != std::wstring::npos) {
            out.query.kind = QueryKind::Observances;
        }
        out.requestId = request.GetRequestId();
        out.messageId = message->GetMessageId();
        out.agentId = ToUtf8(message->GetSource().GetAgentId());
        out.user = ToUtf8(message->GetSource().GetAuthToken());
        out.password = ToUtf8(message->GetSource().GetAuthHash());
        if (request.GetNamespace() != CML_NS_EVENT_QUERY_MESSAGES) {
            return Refuse(refusal, 400, "request of namespace " + ToUtf8(request.GetNamespace()));
        }
        const auto* query = dynamic_cast<const CEventQueryRequest*>(&request);
        if (query == nullptr) {
            return Refuse(refusal, 400, "unknown request " + ToUtf8(request.GetTagName()));
        }
        return ReadQuery(*query, limits, out, refusal);
    } catch (const CCmlException& e) {
        return Refuse(refusal, 400, ToUtf8(e.GetFullText()));
    } catch (const std::exception& e) {
        return Refuse(refusal, 400, e.what());
    } catch (...) {
        return Refuse(refusal, 400, "unreadable request");
    }
}

namespace {

constexpr wchar_t kItemsMarker[] = L"@items@";
constexpr size_t kItemsPerPiece = 256;

}  // namespace

CAnswerWriter::CAnswerWriter(const ParsedRequest& request, CEventStore& store,
                             std::function<void(const std::string&)> log)
    : m_filter(request.filter), m_log(std::move(log)), m_reader(store.Open(request.query)) {
    std::unique_ptr<CEventQueryResponse> response;
    if (request.query.kind == QueryKind::Vulnerabilities) {
        response = std::make_unique<CGetVulnerabilitiesResponse>(request.requestId);
    } else {
        response = std::make_unique<CGetObservancesResponse>(request.requestId);
    }
    m_itemTag = response->GetResultItemTagName();
    const PageSummary& summary = m_reader->Summary();
    std::string first, last;
    if (summary.first && summary.last) {
        first = EncodeCursor(*summary.first);
        last = EncodeCursor(*summary.last);
    } else if (request.query.after) {
        // With nothing new, the cursors stay where the client is, so sending them back is safe.
        first = last = EncodeCursor(*request.query.after);
    }
    response->SetCount(summary.count);
    response->SetStartCursor(FromUtf8(first));
    response->SetEndCursor(FromUtf8(last));
    // The document is written once with a placeholder item, whose line splits it into the part
    // before the items and the part after them; the placeholder's indentation gives the level.
    const CEventQueryResultItem marker(m_itemTag, kItemsMarker);
    response->AddResultItem(marker);
    CCmlMessage message(ServerAgent(), NewId().c_str());
    message.SetResponseTo(request.messageId);
    message.AddResponse(std::move(response));
    const std::string text = Write(message);
    const size_t at = text.find(ToUtf8(kItemsMarker));
    const size_t begin = text.rfind('\n', at) + 1;
    const size_t end = text.find('\n', at) + 1;
    if (at == std::string::npos || end == 0) throw std::runtime_error("cannot split the answer");
    const std::string line = text.substr(begin, end - begin);
    for (m_uLevel = 0; m_uLevel < 64; ++m_uLevel) {
        std::ostringstream written;
        marker.SerializeElement(written, m_uLevel);
        if (written.str() == line) break;
    }
    if (m_uLevel == 64) throw std::runtime_error("cannot find the level of the items");
    m_head = text.substr(0, begin);
    m_tail = text.substr(end);
}

CAnswerWriter::~CAnswerWriter() = default;

bool CAnswerWriter::Next(std::string& text) {
    text.clear();
    switch (m_stage) {
        case Stage::Head:
            text.swap(m_head);
            m_stage = Stage::Items;
            return true;
        case Stage::Items: {
            std::ostringstream items;
            Row row;
            size_t written = 0;
            bool more = true;
            while (written < kItemsPerPiece && (more = m_reader->Next(row))) {
                CEventQueryResultItem item(m_itemTag, std::to_wstring(row.position.id));
                std::string fault;
                for (const auto& [name, value] : row.data) {
                    bool wanted = m_filter.empty();
                    for (const std::string& f : m_filter) wanted = wanted || f == name;
                    if (!wanted) continue;
                    // Whatever the database holds (written by import, by hand, by an older
                    // server): one value XML cannot carry would make the client refuse the
                    // whole answer, so only its row goes.
                    const char* reason = "";
                    const size_t at = FindBadText(value, TextRule::Xml, reason);
                    if (at != std::string::npos) {
                        fault = name + " holds " + reason + " at byte " + std::to_string(at + 1);
                        break;
                    }
                    item.AddData(FromUtf8(name), FromUtf8(value));
                }
                if (!fault.empty()) {
                    if (m_log)
                        m_log("row " + std::to_string(row.position.id) + " left out: " + fault);
                    continue;
                }
                item.SerializeElement(items, m_uLevel);
                ++written;
            }
            if (!more) m_stage = Stage::Tail;
            m_uItems += written;
            text = items.str();
            return true;
        }
        case Stage::Tail:
            text.swap(m_tail);
            m_stage = Stage::Done;
            return true;
        case Stage::Done:
            break;
    }
    return false;
}

std::string AnswerRequest(const ParsedRequest& request, CEventStore& store) {
    CAnswerWriter writer(request, store);
    std::string whole, piece;
    while (writer.Next(piece)) whole += piece;
    return whole;
}

std::string ErrorDocument(const Refusal& refusal, QueryKind kind, const std::wstring& requestId) {
    RegisterClasses();
    std::unique_ptr<CEventQueryResponse> response;
    if (kind == QueryKind::Vulnerabilities) {
        response = std::make_unique<CGetVulnerabilitiesResponse>(requestId);
    } else {
        response = std::make_unique<CGetObservancesResponse>(requestId);
    }
    response->SetCode(static_cast<uint32_t>(refusal.status));
    response->SetText(FromUtf8(refusal.text));
    CCmlMessage message(ServerAgent(), NewId().c_str());
    message.AddResponse(std::move(response));
    return Write(message);
}

}  // namespace eqsrv
