// The one-slot request queue: queueing a serialised request, posting it from the dispatch thread,
// and what happens when a post fails or the state is found inconsistent.
#include <sstream>
#include <string>

#include "cml/CmlMessage.h"
#include "event_query/EventQueryDump.h"
#include "event_query/EventQueryServices.h"
#include "services/mslLoader_zavSessionConfigSvcs.h"
#include "zavToolsLib/zavStatus.h"
#include "zavToolsLib/zavTraceLog.h"

namespace {

constexpr const char* kQueueFunction = "CEventQueryServices::QueueEventQueryRequest";
constexpr const char* kSendFunction = "CEventQueryServices::SendPendingData";
constexpr const char* kPostPath = "/zav/event_query_services";
constexpr const char* kContentType = "application/x-zav-cml-data; charset=UTF-8";

// A response body handed out by the component, released when it goes out of scope.
struct CScsResponse {
    char* pData = nullptr;
    uint32_t uLength = 0;
    ~CScsResponse() {
        if (pData != nullptr) SCS_CALL(SCS_Free)(pData);
    }
};

// The request as the trace shows it. The password travels as the auth-hash attribute, and a
// trace file is read by more people than the server; the dump file keeps it (documented).
std::string MaskPassword(std::string text) {
    static constexpr char kAttribute[] = " auth-hash='";
    for (std::size_t at = text.find(kAttribute); at != std::string::npos;
         at = text.find(kAttribute, at + 1)) {
        const std::size_t value = at + sizeof kAttribute - 1;
        const std::size_t end = text.find('\'', value);  // the value is escaped: no quote inside
        if (end == std::string::npos) break;
        text.replace(value, end - value, "***");
    }
    return text;
}

}  // namespace

uint32_t CEventQueryServices::QueueEventQueryRequest(const zav::cml::CCmlMessage& message) {
    std::ostringstream os;
    message.Serialize(os);
    const std::string text = os.str();
    if (m_bDumpEnabled) {
        zavEventQuery::WriteDumpFile(zavEventQuery::kRequestDumpFile, text.data(), text.size());
    }
    if (zavToolsLib::LogEnabled(GetTraceLog(), EQ_TRACE_DEBUG)) {
        Log(EQ_TRACE_DEBUG, MaskPassword(text).c_str(), kQueueFunction);
    }
    CEventQueryRecord* record = new CEventQueryRecord(text);
    delete m_pPendingRecord;
    m_pPendingRecord = record;
    m_uRequestState = kQueued;
    Log(EQ_TRACE_DEBUG, "Event Query request queued", kQueueFunction);
    return zavToolsLib::ZAV_OK;
}

uint32_t CEventQueryServices::ResetRequestState(const char* label) {
    delete m_pPendingRecord;
    m_pPendingRecord = nullptr;
    m_uRequestState = kIdle;
    Log(EQ_TRACE_ERROR,
        "Event Query Services library has encountered an inconsistent state, resetting state",
        label);
    ReportError(EQ_E_REQUEST_DROPPED);
    return m_pThreading != nullptr ? zavToolsLib::ZAV_OK : EQ_E_REQUEST_DROPPED;
}

uint32_t CEventQueryServices::SendPendingData(int32_t serverIndex) {
    CScsResponse response;
    try {
        Log(EQ_TRACE_DEBUG, "Sending request", kSendFunction);
        std::string text;
        {
            CLockGuard guard(*this);
            if (m_uRequestState != kQueued) {
                return zavToolsLib::ZAV_OK;
            }
            if (m_pPendingRecord == nullptr) {
                return ResetRequestState(
                    "CEventQueryServices::SendPendingData::m_pDispatchRecordCheck");
            }
            m_uRequestState = kSending;
            // A copy: the record may be replaced once the state leaves "sending".
            text = m_pPendingRecord->GetText();
        }

        const uint32_t status = SCS_CALL(SCS_PostData)(
            m_iDestinationId, serverIndex, kPostPath, 0, kContentType, text.data(),
            static_cast<uint32_t>(text.size()), GetTimeouts(), &response.pData, &response.uLength);
        if (status != zavToolsLib::ZAV_OK) {
            CLockGuard guard(*this);
            if (m_pThreading == nullptr) {
                ResetRequestState("CEventQueryServices::SendPendingData::postDataCheck");
            } else if (status == zavToolsLib::ZAV_E_RESPONSE_TOO_LARGE) {
                // Any server would send the same answer again, and every retry would download
                // it up to the limit first: the request is dropped, not retried.
                delete m_pPendingRecord;
                m_pPendingRecord = nullptr;
                m_uRequestState = kIdle;
                ReportError(status);
                Log(EQ_TRACE_ERROR,
                    "The answer of the Event Query Server exceeds max_response_size of the comm "
                    "settings; the request is dropped",
                    kSendFunction);
                return zavToolsLib::ZAV_OK;
            } else {
                // Queued again: the retry state machine decides when to resend.
                m_uRequestState = kQueued;
                ReportError(status);
            }
            Log(EQ_TRACE_ERROR,
                ("Event Query Services library failed to post data to Event Query Server: "
                 "status(" +
                 std::to_string(status) + ")")
                    .c_str(),
                kSendFunction);
            return status;
        }

        if (response.pData == nullptr || response.uLength == 0) {
            CLockGuard guard(*this);
            return ResetRequestState("CEventQueryServices::SendPendingData::postDataResponseCheck");
        }
        // The body goes as soon as it is parsed, before the objects are read from the tree.
        const auto releaseBody = [&response] {
            SCS_CALL(SCS_Free)(response.pData);
            response.pData = nullptr;
        };
        if (ProcessResponse(response.pData, response.uLength, releaseBody) == zavToolsLib::ZAV_OK) {
            return zavToolsLib::ZAV_OK;
        }
        CLockGuard guard(*this);
        return ResetRequestState(
            "CEventQueryServices::SendPendingData::postDataResponseProcessing");
    } catch (...) {
        Log(EQ_TRACE_ERROR, "An unexpected exception occurred", kSendFunction);
        CLockGuard guard(*this);
        if (m_pThreading == nullptr) {
            return ResetRequestState(
                "CEventQueryServices::SendPendingData::unexpectedExceptionCheck");
        }
        m_uRequestState = kQueued;
        return zavToolsLib::ZAV_E_EXCEPTION;
    }
}

void CEventQueryServices::ReportError(uint32_t status) const {
    const EQ_ErrorCallback callback = ReadCallback(m_pfnError);
    if (callback != nullptr && !m_bErrorCallbackClosed) {
        callback(status, 1);
    }
}

void CEventQueryServices::OnRetryRequestFailed() {
    try {
        // The dispatch thread still holds the instance lock from NextState.
        ReportError(EQ_I_RETRIES_EXHAUSTED);
    } catch (...) {
        Log(EQ_TRACE_ERROR, "unknown exception!", "CEventQueryServices::OnRetryRequestFailed");
    }
}
