// CEventQueryServices: the one service object behind the exported interface. It validates
// queries and turns each into one CML document held as the single outstanding request; the
// dispatch thread of CBaseServices posts it to the Event Query Server and hands the response to
// the application's callbacks.
//
// Threads: application threads queue (under the instance lock); the dispatch thread posts,
// processes responses and runs every callback. The instance lock guards the callbacks, the
// request state, the pending record and its client data; the result filters and the
// authentication strings are written without it, while no query is being built.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cml/CmlReadLimits.h"
#include "event_query/EventQueryRecord.h"
#include "event_query/EventQueryValidation.h"
#include "services/BaseServices.h"
#include "zavEventQuerySvcs.h"

class eqRetryState;

namespace zav::cml {
class CCmlMessage;
class CEventQueryRequest;
class CEventQueryResponse;
}  // namespace zav::cml

class CEventQueryServices : public CBaseServices {
public:
    // Request states of the one-slot queue.
    enum RequestState : uint32_t {
        kIdle = 0,
        kQueued = 1,
        kSending = 2,
        kProcessing = 3,
    };

    using ResultFilter = std::vector<std::wstring>;

    // Registers the document classes that requests and responses are read and written with.
    CEventQueryServices();
    ~CEventQueryServices() override;

    // The registration of the constructor, on the global class factory. Anything that reads
    // server answers the way ProcessResponse does (the fuzz targets) calls it too.
    static void RegisterDocumentClasses();

    // Creates the retry state, initialises the base (client side, dispatch thread started),
    // loads the settings and registers for settings changes. On a nonzero status the caller
    // gives the object up with ShutDown and Release: the dispatch thread may already run.
    using CBaseServices::Init;
    uint32_t Init(const asThreadingTable* threading, const asTraceLog* traceLog,
                  const char* version, const char* localPropertyFile, const char* commSettingsFile,
                  const char* initString1, const char* initString2, const char* agentName,
                  const char* agentNamespace);

    void OnRetryRequestFailed() override;
    uint32_t Terminate() override;
    // "dumpEnabled" and the limits on reading answers, then the base settings.
    uint32_t LoadSettings(const std::string& serviceType) override;
    // Posts the outstanding request to a server; dispatch thread, without the instance lock.
    uint32_t SendPendingData(int32_t serverIndex) override;

    // ---- Operations of the exported interface --------------------------------------------
    void RegisterErrorCallback(EQ_ErrorCallback callback);
    void RegisterResultSetCallbacks(EQ_BeginResultSetCallback beginResultSet,
                                    EQ_BeginResultCallback beginResult,
                                    EQ_ResultDataCallback resultData,
                                    EQ_EndResultCallback endResult,
                                    EQ_EndResultSetCallback endResultSet);
    // Clears the five result callbacks (the error callback stays).
    void ClearResultSetCallbacks();
    // Once EQ_ShutDown returns the application may free what its error callback uses: from here
    // on it is not called any more. Takes no lock (a callback in progress may hold it).
    void CloseErrorCallback() { m_bErrorCallbackClosed = true; }
    // NULL texts throw (std::invalid_argument).
    void SetAuthentication(const char* user, const char* password);
    void SetObservanceResultFilter(const char* filter);
    void SetVulnerabilityResultFilter(const char* filter);
    // Validates the query and queues it; the status of the Query form.
    uint32_t Query(const zavEventQuery::CQueryParams& params);
    // Settings of our destination changed: reload them.
    uint32_t OnSettingsChanged(int32_t destinationId);

    // ---- Queue, posting and responses ----------------------------------------------------
    // Serialises the message into the pending record (state queued). Instance lock held.
    uint32_t QueueEventQueryRequest(const zav::cml::CCmlMessage& message);
    // Drops the outstanding request after an inconsistency and tells the error callback.
    // Instance lock held. 0, or ZAV_E_REQUEST_DROPPED once the threading table is gone.
    uint32_t ResetRequestState(const char* label);
    // Frees the request slot, parses the response and delivers its results. 0 or a status.
    // releaseText, when set, is called once the text is parsed and needed no more.
    uint32_t ProcessResponse(const char* text, uint32_t length,
                             const std::function<void()>& releaseText = {});
    // Delivers one response's items to the result callbacks, with the client data of the
    // request it answers.
    void ExecuteCallbacks(const zav::cml::CEventQueryResponse& response, uint32_t clientData);

    uint32_t GetRequestState() const;
    bool IsDumpEnabled() const { return m_bDumpEnabled; }
    // The limits answers are read with (settings, or their defaults).
    zav::cml::CCmlReadLimits GetReadLimits() const;

private:
    // Builds the request of a validated query inside a new message and queues it. Instance
    // lock held, request state idle.
    uint32_t BuildAndQueue(const zavEventQuery::CQueryParams& params,
                           const zavEventQuery::CPreparedQuery& query);
    // The request object of the query's kind, filled with the query and the result filter.
    std::unique_ptr<zav::cml::CEventQueryRequest> CreateRequest(
        const zavEventQuery::CQueryParams& params, const zavEventQuery::CPreparedQuery& query,
        const std::wstring& requestId) const;
    // Reads a callback under the instance lock (they may be replaced or cleared meanwhile).
    template <class Callback>
    Callback ReadCallback(const Callback& callback) const {
        CLockGuard guard(*this);
        return callback;
    }
    // Calls the error callback with (status, 1) when one is registered and not closed.
    void ReportError(uint32_t status) const;
    uint32_t RegisterSettingsCallback();
    void UnregisterSettingsCallback();

    eqRetryState* m_pEqRetryState = nullptr;
    EQ_BeginResultSetCallback m_pfnBeginResultSet = nullptr;
    EQ_EndResultSetCallback m_pfnEndResultSet = nullptr;
    EQ_BeginResultCallback m_pfnBeginResult = nullptr;
    EQ_ResultDataCallback m_pfnResultData = nullptr;
    EQ_EndResultCallback m_pfnEndResult = nullptr;
    EQ_ErrorCallback m_pfnError = nullptr;
    std::atomic<bool> m_bErrorCallbackClosed{false};
    uint32_t m_uRequestState = kIdle;
    CEventQueryRecord* m_pPendingRecord = nullptr;
    uint32_t m_uClientData = 0;
    bool m_bDumpEnabled = false;
    zav::cml::CCmlReadLimits m_readLimits;
    std::wstring m_strAgentName;
    std::wstring m_strAgentNamespace;
    std::wstring m_strAuthUser;
    std::wstring m_strAuthPassword;
    ResultFilter m_observanceFilter;
    ResultFilter m_vulnerabilityFilter;
    // This object registered the settings-changed callback and owes its share of the
    // unregistration.
    bool m_bSettingsCallbackRegistered = false;
};
