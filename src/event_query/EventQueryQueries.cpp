// Queries: argument checks, the trace text and the request object of each query kind.
#include <memory>

#include "cml/AgentInfo.h"
#include "cml/CmlMessage.h"
#include "cml/EventQueryMessages/GetObservancesByAddressRequest.h"
#include "cml/EventQueryMessages/GetObservancesByGroupRequest.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesByAddressRequest.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesByGroupRequest.h"
#include "event_query/EventQueryInstance.h"
#include "event_query/EventQueryServices.h"
#include "services/mslLoader_zavSessionConfigSvcs.h"
#include "zavToolsLib/ConvertUTF.h"
#include "zavToolsLib/zavGuid.h"
#include "zavToolsLib/zavStatus.h"
#include "zavToolsLib/zavTraceLog.h"

using zavEventQuery::CPreparedQuery;
using zavEventQuery::CQueryParams;
using zavEventQuery::EQueryKind;

namespace {

// A new identifier, from a generator of its own.
std::wstring NewIdentifier() {
    zavToolsLib::CZAVUXGuid generator;
    generator.Generate();
    return zavToolsLib::FromUtf8(generator.GetText());
}

// The component's text, released at once.
struct CScsText {
    char* pszText = nullptr;
    ~CScsText() {
        if (pszText != nullptr) SCS_CALL(SCS_Free)(pszText);
    }
};

template <class Request>
void FillAddress(Request& request, const zavEventQuery::CAddressRange& range) {
    request.SetStartAddress(range.strLow);
    request.SetEndAddress(range.strHigh);
    request.SetAddressType(range.strType);
}

template <class Request>
void FillObservance(Request& request, const CPreparedQuery& query) {
    request.SetSourceAnalysis(query.analysis.bSource);
    request.SetTargetAnalysis(query.analysis.bTarget);
    request.SetSensorAnalysis(query.analysis.bSensor);
    request.SetTypeIdList(query.types.strTypeIdList);
    request.SetExclude(query.types.bExclude);
}

}  // namespace

uint32_t CEventQueryServices::Query(const CQueryParams& params) {
    const char* function = zavEventQuery::QueryFunctionName(params.eKind);
    const bool byAddress = zavEventQuery::IsByAddress(params.eKind);
    const bool observances = zavEventQuery::IsObservanceQuery(params.eKind);

    if (params.pszSelector == nullptr) {
        Log(EQ_TRACE_ERROR, "A required input parameter is NULL.", function);
        return zavToolsLib::ZAV_E_INVALID_ARG;
    }
    if (!zavEventQuery::IsWithinTextLimit(params.pszSelector) ||
        (observances && params.pszTypeFilter != nullptr &&
         !zavEventQuery::IsWithinTextLimit(params.pszTypeFilter))) {
        Log(EQ_TRACE_ERROR, "An input parameter is too large.", function);
        return zavToolsLib::ZAV_E_INVALID_ARG;
    }

    CPreparedQuery query;
    // A NULL time throws here; the exported function's guard answers for it.
    query.strStartTime = zavToolsLib::FromUtf8(params.pszStartTime);
    query.strEndTime = zavToolsLib::FromUtf8(params.pszEndTime);
    if (byAddress) {
        if (!zavEventQuery::ParseAddressRange(params.pszSelector, query.range)) {
            Log(EQ_TRACE_ERROR, "The address range was invalid.", function);
            return zavToolsLib::ZAV_E_INVALID_ARG;
        }
    } else {
        query.strSelector = zavToolsLib::FromUtf8(params.pszSelector);
    }
    if (observances) {
        query.analysis = zavEventQuery::GetAnalysisSwitches(params.iAnalysisFlags);
        if (!zavEventQuery::IsValidTypeFilter(params.pszTypeFilter)) {
            Log(EQ_TRACE_ERROR, "The observance type was invalid.", function);
            return zavToolsLib::ZAV_E_INVALID_ARG;
        }
        query.types = zavEventQuery::GetTypeSelection(params.pszTypeFilter, params.bExclude);
    }

    {
        CScsText agentId;
        const uint32_t status = zavEventQuery::ComponentCall(
            *this, [&] { return SCS_CALL(SCS_GetAgentId)(&agentId.pszText); });
        if (status != zavToolsLib::ZAV_OK) {
            Log(EQ_TRACE_ERROR, "Unable to get agent GUID from SCS.", function);
            return status;
        }
        query.strAgentId = zavToolsLib::FromUtf8(agentId.pszText != nullptr ? agentId.pszText : "");
    }

    if (zavToolsLib::LogEnabled(GetTraceLog(), EQ_TRACE_DEBUG)) {
        Log(EQ_TRACE_DEBUG, zavEventQuery::ComposeTraceText(params).c_str(), function);
    }

    {
        CLockGuard guard(*this);
        if (m_uRequestState != kIdle) {
            return EQ_E_QUERY_OUTSTANDING;
        }
        const uint32_t status = BuildAndQueue(params, query);
        if (status != zavToolsLib::ZAV_OK) {
            return status;
        }
    }
    const uint32_t status = DispatchPendingData();
    Log(EQ_TRACE_DEBUG, "Event query request posted", function);
    return status;
}

uint32_t CEventQueryServices::BuildAndQueue(const CQueryParams& params,
                                            const CPreparedQuery& query) {
    m_uClientData = params.uClientData;
    const zav::cml::CAgentInfo source(m_strAgentNamespace, m_strAgentName, L"", L"",
                                      query.strAgentId, m_strAuthUser, m_strAuthPassword);
    const std::wstring messageId = NewIdentifier();
    zav::cml::CCmlMessage message(source, messageId.c_str(), nullptr, false, L"");
    message.AddRequest(CreateRequest(params, query, NewIdentifier()));
    return QueueEventQueryRequest(message);
}

std::unique_ptr<zav::cml::CEventQueryRequest> CEventQueryServices::CreateRequest(
    const CQueryParams& params, const CPreparedQuery& query, const std::wstring& requestId) const {
    std::unique_ptr<zav::cml::CEventQueryRequest> request;
    switch (params.eKind) {
        case EQueryKind::VulnsByAddress: {
            auto concrete =
                std::make_unique<zav::cml::CGetVulnerabilitiesByAddressRequest>(requestId);
            FillAddress(*concrete, query.range);
            concrete->SetFixed(params.bFixed);
            request = std::move(concrete);
            break;
        }
        case EQueryKind::VulnsByGroup: {
            auto concrete =
                std::make_unique<zav::cml::CGetVulnerabilitiesByGroupRequest>(requestId);
            concrete->SetGroupId(query.strSelector);
            concrete->SetFixed(params.bFixed);
            request = std::move(concrete);
            break;
        }
        case EQueryKind::ObservancesByAddress: {
            auto concrete = std::make_unique<zav::cml::CGetObservancesByAddressRequest>(requestId);
            FillAddress(*concrete, query.range);
            FillObservance(*concrete, query);
            request = std::move(concrete);
            break;
        }
        case EQueryKind::ObservancesByGroup: {
            auto concrete = std::make_unique<zav::cml::CGetObservancesByGroupRequest>(requestId);
            concrete->SetGroupId(query.strSelector);
            FillObservance(*concrete, query);
            request = std::move(concrete);
            break;
        }
    }
    request->SetCount(static_cast<uint32_t>(params.iCount));
    request->SetStartTime(query.strStartTime);
    request->SetEndTime(query.strEndTime);
    const ResultFilter& filter =
        zavEventQuery::IsObservanceQuery(params.eKind) ? m_observanceFilter : m_vulnerabilityFilter;
    for (const std::wstring& name : filter) {
        request->AddResultFilterItem(name);
    }
    return request;
}
