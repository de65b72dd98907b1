// Response processing: the body of a successful post is parsed as a compound message and every
// event query response in it is delivered to the application's result callbacks.
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "cml/CmlException.h"
#include "cml/CmlMessage.h"
#include "cml/CmlNamespace.h"
#include "cml/CmlParser.h"
#include "cml/CmlSchemaException.h"
#include "cml/EventQueryMessages/EventQueryResponse.h"
#include "event_query/EventQueryDump.h"
#include "event_query/EventQueryServices.h"
#include "zavToolsLib/ConvertUTF.h"
#include "zavToolsLib/zavStatus.h"
#include "zavToolsLib/zavTraceLog.h"

namespace {

constexpr const char* kProcessFunction = "CEventQueryServices::ProcessResponse";
constexpr const char* kCallbacksFunction = "CEventQueryServices::ExecuteCallbacks";
constexpr const wchar_t kContext[] = L"Deserializing EventQueryServices message";

std::string SchemaFailureText(const zav::cml::CSchemaException& e) {
    std::wstring text = L"parse failed with schema error. Exception: " + e.GetDescription();
    for (const zav::cml::CSchemaIncompatibility& entry : e.GetIncompatibilities()) {
        text += L" Namespace: " + entry.GetNamespace() + L" Parser version: " +
                entry.GetExpectedVersion() + L" Document version: " + entry.GetFoundVersion();
    }
    return zavToolsLib::ToUtf8(text);
}

// text as UTF-8 in buffer, whose memory is kept from one text to the next.
const char* Utf8Into(std::string& buffer, const std::wstring& text) {
    // Mostly ASCII: copied as it is; the converter takes over at the first other character.
    buffer.resize(text.size());
    std::size_t i = 0;
    for (; i < text.size() && static_cast<uint32_t>(text[i]) < 0x80; ++i) {
        buffer[i] = static_cast<char>(text[i]);
    }
    if (i != text.size()) {
        buffer.resize(i);
        const wchar_t* rest = text.data() + i;
        zavToolsLib::Utf32ToUtf8(rest, text.data() + text.size(), buffer, true);
    }
    return buffer.c_str();
}

using CFoundElement = zav::cml::CCmlMessage::CSkippedElement;

// A text of the answer, cut short: a hostile server chooses its length.
std::string Clipped(const std::wstring& text) {
    constexpr std::size_t kMost = 200;
    return text.size() <= kMost ? zavToolsLib::ToUtf8(text)
                                : zavToolsLib::ToUtf8(text.substr(0, kMost)) + "...";
}

// The warning for an answer that holds no event query response: the first elements found
// instead (total of them in all).
std::string NoResponseText(const std::vector<CFoundElement>& found, std::size_t total) {
    std::string text = "Event Query Services' CML response holds no event query response; found ";
    if (found.empty()) {
        return text + "no response element";
    }
    for (std::size_t i = 0; i < found.size() && i < zav::cml::CCmlMessage::kKeptSkippedResponses;
         ++i) {
        text += (i == 0 ? "" : ", ") + Clipped(found[i].strTagName) + " (namespace '" +
                Clipped(found[i].strNamespace) + "', schema-version '" +
                Clipped(found[i].strSchemaVersion) + "')";
    }
    if (total > zav::cml::CCmlMessage::kKeptSkippedResponses) {
        text += " and " + std::to_string(total - zav::cml::CCmlMessage::kKeptSkippedResponses) +
                " more";
    }
    return text;
}

}  // namespace

uint32_t CEventQueryServices::ProcessResponse(const char* text, uint32_t length,
                                              const std::function<void()>& releaseText) {
    Log(EQ_TRACE_DEBUG, "Processing response", kProcessFunction);
    bool dumpEnabled;
    {
        CLockGuard guard(*this);
        m_uRequestState = kProcessing;
        dumpEnabled = m_bDumpEnabled;  // a settings reload may change it meanwhile
    }
    const zav::cml::CCmlReadLimits limits = GetReadLimits();

    uint32_t result = zavToolsLib::ZAV_OK;
    std::string failure;
    try {
        if (dumpEnabled) {
            zavEventQuery::WriteDumpFile(zavEventQuery::kResponseDumpFile, text, length);
        }
        if (zavToolsLib::LogEnabled(GetTraceLog(), EQ_TRACE_DEBUG)) {
            Log(EQ_TRACE_DEBUG, std::string(text, length).c_str(), kProcessFunction);
        }

        // The request is finished once a body has arrived: a new query may be queued from here
        // on. Its client data is kept for the callbacks of this response.
        uint32_t clientData;
        {
            CLockGuard guard(*this);
            clientData = m_uClientData;
            m_uRequestState = kIdle;
            delete m_pPendingRecord;
            m_pPendingRecord = nullptr;
        }

        // Bounded: whoever answered the post chose every byte.
        std::unique_ptr<zav::cml::CCmlDocumentBase> document =
            zav::cml::DeserializeBuffer(reinterpret_cast<const unsigned char*>(text), length,
                                        limits, zav::cml::CML_LOOKUP_MATCH, releaseText);
        if (!document) {
            throw zav::cml::CCmlException(
                kContext, L"No document object is registered for the input message.",
                zavToolsLib::ZAV_E_EXCEPTION);
        }
        const auto* message = dynamic_cast<const zav::cml::CCmlMessage*>(document.get());
        if (message == nullptr) {
            throw zav::cml::CCmlException(kContext,
                                          L"The message document is of an unexpected type",
                                          zav::cml::CML_E_UNEXPECTED_DOCUMENT);
        }
        bool delivered = false;
        std::vector<CFoundElement> found;  // what stood where a response was expected
        for (const auto& entry : message->GetResponses()) {
            if (!entry) {
                continue;
            }
            const std::wstring& name = entry->GetTagName();
            if (entry->GetNamespace() != zav::cml::CML_NS_EVENT_QUERY_MESSAGES) {
                found.push_back({name, entry->GetNamespace(), entry->GetSchemaVersion()});
                continue;
            }
            if (name == L"get-observances-response" || name == L"get-vulnerabilities-response") {
                const auto* response =
                    dynamic_cast<const zav::cml::CEventQueryResponse*>(entry.get());
                if (response == nullptr) {
                    throw zav::cml::CCmlException(
                        kContext, L"The event query response is of an unexpected type",
                        zav::cml::CML_E_UNEXPECTED_DOCUMENT);
                }
                ExecuteCallbacks(*response, clientData);
                delivered = true;
            } else {
                found.push_back({name, entry->GetNamespace(), entry->GetSchemaVersion()});
                Log(EQ_TRACE_ERROR,
                    ("Event Query Services' CML response contains an unexpected element(" +
                     zavToolsLib::ToUtf8(name) + "), ignoring element.")
                        .c_str(),
                    kProcessFunction);
            }
        }
        if (!delivered) {
            // No callback follows for this query: say what the answer held instead, so that an
            // operator can see why.
            const auto& skipped = message->GetSkippedResponses();
            found.insert(found.end(), skipped.begin(), skipped.end());
            const std::size_t total =
                found.size() - skipped.size() + message->GetSkippedResponseCount();
            Log(EQ_TRACE_WARNING, NoResponseText(found, total).c_str(), kProcessFunction);
        }
    } catch (const zav::cml::CSchemaException& e) {
        failure = SchemaFailureText(e);
        result = EQ_E_BAD_RESPONSE;
    } catch (const zav::cml::CCmlException& e) {
        if (e.GetCode() == zav::cml::CML_E_READ_CANCELLED) {
            // Shutting down: the answer is of no use to anyone any more, and no failure.
            Log(EQ_TRACE_DEBUG, "Response reading stopped: shutting down", kProcessFunction);
            Log(EQ_TRACE_DEBUG, "Response processed", kProcessFunction);
            return zavToolsLib::ZAV_OK;
        }
        failure =
            "parse failed with CML error. Exception: " + zavToolsLib::ToUtf8(e.GetDescription());
        result = EQ_E_BAD_RESPONSE;
    } catch (const std::exception& e) {
        failure = e.what();
        result = EQ_E_BAD_RESPONSE;
    } catch (...) {
        failure = "Unexpected exception caught";
        result = EQ_E_BAD_RESPONSE;
    }
    if (!failure.empty()) {
        Log(EQ_TRACE_ERROR, failure.c_str(), kProcessFunction);
    }
    Log(EQ_TRACE_DEBUG, "Response processed", kProcessFunction);
    return result;
}

void CEventQueryServices::ExecuteCallbacks(const zav::cml::CEventQueryResponse& response,
                                           uint32_t clientData) {
    Log(EQ_TRACE_DEBUG, "Executing callbacks", kCallbacksFunction);
    if (EQ_BeginResultSetCallback callback = ReadCallback(m_pfnBeginResultSet)) {
        callback(clientData);
    }
    std::string resultIdBuffer, nameBuffer, valueBuffer;
    const uint32_t count = response.GetResultItemCount();
    for (uint32_t index = 0; index < count; ++index) {
        const zav::cml::CEventQueryResultItem& item = response.GetResultItem(index);
        const char* const resultId = Utf8Into(resultIdBuffer, item.GetResultId());
        if (EQ_BeginResultCallback callback = ReadCallback(m_pfnBeginResult)) {
            callback(clientData, resultId);
        }
        if (EQ_ResultDataCallback callback = ReadCallback(m_pfnResultData)) {
            for (auto pair = item.DataBegin(); pair != item.DataEnd(); ++pair) {
                callback(clientData, resultId, Utf8Into(nameBuffer, pair->first),
                         Utf8Into(valueBuffer, pair->second));
            }
        }
        if (EQ_EndResultCallback callback = ReadCallback(m_pfnEndResult)) {
            callback(clientData, resultId);
        }
    }
    if (EQ_EndResultSetCallback callback = ReadCallback(m_pfnEndResultSet)) {
        callback(clientData);
    }
    Log(EQ_TRACE_DEBUG, "Callbacks executed", kCallbacksFunction);
}
