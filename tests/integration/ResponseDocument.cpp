#include "ResponseDocument.h"

#include <memory>
#include <sstream>

#include "cml/CmlMessage.h"
#include "cml/EventQueryMessages/GetObservancesResponse.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesResponse.h"

namespace eqit {

using namespace zav::cml;

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
        for (const ResultItem& specItem : spec.items) {
            CEventQueryResultItem item(response->GetResultItemTagName(), specItem.id);
            for (const auto& [name, value] : specItem.data) item.AddData(name, value);
            response->AddResultItem(item);
        }
        message.AddResponse(std::move(response));
    }
    std::ostringstream text;
    message.Serialize(text);
    return text.str();
}

}  // namespace eqit
