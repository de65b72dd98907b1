#include "ServerDocuments.h"

#include <exception>
#include <memory>
#include <mutex>
#include <sstream>

#include "cml/CmlClassFactory.h"
#include "cml/CmlException.h"
#include "cml/CmlMessage.h"
#include "cml/CmlParser.h"
#include "cml/EventQueryMessages/EventQueryMessages.h"
#include "cml/EventQueryMessages/GetObservancesByAddressRequest.h"
#include "cml/EventQueryMessages/GetObservancesByGroupRequest.h"
#include "cml/EventQueryMessages/GetObservancesResponse.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesByAddressRequest.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesByGroupRequest.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesResponse.h"
#include "zavToolsLib/ConvertUTF.h"

namespace eqit {
namespace {

using namespace zav::cml;
using zavToolsLib::ToUtf8;

std::string Flag(bool flag) { return flag ? "true" : "false"; }

std::string Time(const XmlUtils::CDateTime& time) {
    std::ostringstream text;
    time.Write(text);
    return text.str();
}

std::string Join(const std::wstring& a, const std::wstring& b, const std::wstring& c) {
    return ToUtf8(a) + "|" + ToUtf8(b) + "|" + ToUtf8(c);
}

// The selector of the vulnerability or observance form of a request.
template <class ByAddress, class ByGroup>
void ReadSelector(const CEventQueryRequest& query, std::map<std::string, std::string>& f) {
    if (const auto* a = dynamic_cast<const ByAddress*>(&query)) {
        f["address-range"] = Join(a->GetStartAddress(), a->GetEndAddress(), a->GetAddressType());
    }
    if (const auto* g = dynamic_cast<const ByGroup*>(&query)) {
        f["group-id"] = ToUtf8(g->GetGroupId());
    }
}

void ReadRequest(const CCmlRequest& request, std::map<std::string, std::string>& f) {
    f["element"] = ToUtf8(request.GetTagName());
    f["namespace"] = ToUtf8(request.GetNamespace());
    f["schema-version"] = ToUtf8(request.GetSchemaVersion());
    f["request-id"] = ToUtf8(request.GetRequestId());
    f["need-reply"] = Flag(request.GetNeedReply());
    const auto* query = dynamic_cast<const CEventQueryRequest*>(&request);
    if (query == nullptr) return;
    f["count"] = std::to_string(query->GetCount());
    f["start-time"] = Time(query->GetStartTime());
    f["end-time"] = Time(query->GetEndTime());
    std::string filter;
    for (const std::wstring& name : query->GetResultFilter()) {
        filter += (filter.empty() ? "" : "|") + ToUtf8(name);
    }
    f["filter"] = query->GetResultFilter().empty() ? "(none)" : filter;
    if (const auto* v = dynamic_cast<const CGetVulnerabilitiesRequest*>(query)) {
        f["fixed"] = Flag(v->GetFixed());
    }
    if (const auto* o = dynamic_cast<const CGetObservancesRequest*>(query)) {
        f["analysis"] = Flag(o->GetSourceAnalysis()) + "|" + Flag(o->GetTargetAnalysis()) + "|" +
                        Flag(o->GetSensorAnalysis());
        f["observance-type"] = ToUtf8(o->GetTypeIdList()) + "|" + Flag(o->GetExclude());
    }
    ReadSelector<CGetVulnerabilitiesByAddressRequest, CGetVulnerabilitiesByGroupRequest>(*query, f);
    ReadSelector<CGetObservancesByAddressRequest, CGetObservancesByGroupRequest>(*query, f);
}

}  // namespace

const std::string& PostedRequest::Field(const std::string& name) const {
    static const std::string missing = "(missing)";
    const auto it = fields.find(name);
    return it != fields.end() ? it->second : missing;
}

PostedRequest ReadPostedRequest(std::string path, std::string contentType, std::string body) {
    PostedRequest posted{std::move(path), std::move(contentType), std::move(body)};
    try {
        static std::once_flag once;
        std::call_once(once, [] {
            RegisterCmlMessage(GetGlobalClassFactory());
            RegisterEventQueryMessages(GetGlobalClassFactory());
        });
        std::unique_ptr<CCmlDocumentBase> document =
            DeserializeBuffer(reinterpret_cast<const unsigned char*>(posted.body.data()),
                              posted.body.size(), CML_DONT_VALIDATE);
        const auto* message = dynamic_cast<const CCmlMessage*>(document.get());
        if (message == nullptr || message->GetRequests().size() != 1 ||
            !message->GetRequests()[0]) {
            posted.error = "not a compound message with one request";
            return posted;
        }
        const CAgentInfo& s = message->GetSource();
        posted.fields["message-id"] = ToUtf8(message->GetMessageId());
        posted.fields["source"] = Join(s.GetName(), s.GetNamespace(), s.GetIPAddress()) + "|" +
                                  Join(s.GetHostName(), s.GetAgentId(), s.GetAuthToken()) + "|" +
                                  ToUtf8(s.GetAuthHash());
        ReadRequest(*message->GetRequests()[0], posted.fields);
    } catch (const CCmlException& e) {
        posted.error = "CML exception " + ToUtf8(e.GetFullText());
    } catch (const std::exception& e) {
        posted.error = e.what();
    }
    return posted;
}

std::string BuildResponseDocument(const std::vector<QueryResponse>& responses) {
    const CAgentInfo server(L"urn:zav:test", L"Event Query Server", L"127.0.0.1", L"", L"", L"",
                            L"");
    CCmlMessage message(server, L"6f1c0a5e-0000-4000-8000-000000000001");
    for (const QueryResponse& spec : responses) {
        std::unique_ptr<CEventQueryResponse> response;
        if (spec.vulnerabilities) {
            response = std::make_unique<CGetVulnerabilitiesResponse>(spec.requestId);
        } else {
            response = std::make_unique<CGetObservancesResponse>(spec.requestId);
        }
        response->SetCount(static_cast<uint32_t>(spec.items.size()));
        for (const auto& [id, data] : spec.items) {
            CEventQueryResultItem item(response->GetResultItemTagName(), id);
            for (const auto& [name, value] : data) item.AddData(name, value);
            response->AddResultItem(item);
        }
        message.AddResponse(std::move(response));
    }
    std::ostringstream text;
    message.Serialize(text);
    return text.str();
}

}  // namespace eqit
