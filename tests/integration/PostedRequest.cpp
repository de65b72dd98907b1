#include "PostedRequest.h"

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
#include "cml/EventQueryMessages/GetVulnerabilitiesByAddressRequest.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesByGroupRequest.h"
#include "zavToolsLib/ConvertUTF.h"

namespace eqit {
namespace {

using namespace zav::cml;
using zavToolsLib::ToUtf8;

void RegisterClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        CCmlClassFactory* factory = GetGlobalClassFactory();
        RegisterCmlMessage(factory);
        RegisterEventQueryMessages(factory);
    });
}

std::string Flag(bool flag) { return flag ? "true" : "false"; }

std::string Time(const XmlUtils::CDateTime& time) {
    std::ostringstream text;
    time.Write(text);
    return text.str();
}

std::string Join(const std::wstring& a, const std::wstring& b, const std::wstring& c) {
    return ToUtf8(a) + "|" + ToUtf8(b) + "|" + ToUtf8(c);
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
    if (const auto* a = dynamic_cast<const CGetVulnerabilitiesByAddressRequest*>(query)) {
        f["address-range"] = Join(a->GetStartAddress(), a->GetEndAddress(), a->GetAddressType());
    }
    if (const auto* a = dynamic_cast<const CGetObservancesByAddressRequest*>(query)) {
        f["address-range"] = Join(a->GetStartAddress(), a->GetEndAddress(), a->GetAddressType());
    }
    if (const auto* g = dynamic_cast<const CGetVulnerabilitiesByGroupRequest*>(query)) {
        f["group-id"] = ToUtf8(g->GetGroupId());
    }
    if (const auto* g = dynamic_cast<const CGetObservancesByGroupRequest*>(query)) {
        f["group-id"] = ToUtf8(g->GetGroupId());
    }
}

}  // namespace

const std::string& PostedRequest::Field(const std::string& name) const {
    static const std::string missing = "(missing)";
    const auto it = fields.find(name);
    return it != fields.end() ? it->second : missing;
}

PostedRequest ReadPostedRequest(std::string path, std::string contentType, std::string body) {
    PostedRequest posted{std::move(path),
                         std::move(contentType),
                         std::move(body),
                         std::chrono::steady_clock::now(),
                         "",
                         {}};
    try {
        RegisterClasses();
        std::unique_ptr<CCmlDocumentBase> document =
            DeserializeBuffer(reinterpret_cast<const unsigned char*>(posted.body.data()),
                              posted.body.size(), CML_DONT_VALIDATE);
        const auto* message = dynamic_cast<const CCmlMessage*>(document.get());
        if (message == nullptr) {
            posted.error = "not a compound message";
            return posted;
        }
        const CAgentInfo& s = message->GetSource();
        auto& f = posted.fields;
        f["message-id"] = ToUtf8(message->GetMessageId());
        f["source"] = Join(s.GetName(), s.GetNamespace(), s.GetIPAddress()) + "|" +
                      Join(s.GetHostName(), s.GetAgentId(), s.GetAuthToken()) + "|" +
                      ToUtf8(s.GetAuthHash());
        if (message->GetRequests().size() != 1 || !message->GetRequests()[0]) {
            posted.error = "not exactly one request";
            return posted;
        }
        ReadRequest(*message->GetRequests()[0], f);
    } catch (const CCmlException& e) {
        posted.error = "CML exception " + ToUtf8(e.GetFullText());
    } catch (const std::exception& e) {
        posted.error = e.what();
    }
    return posted;
}

}  // namespace eqit
