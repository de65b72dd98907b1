// Fuzz target: the body of a server answer, read as the dispatch thread reads it
// (CEventQueryServices::ProcessResponse and ExecuteCallbacks), without the callbacks.
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "cml/CmlException.h"
#include "cml/CmlMessage.h"
#include "cml/CmlNamespace.h"
#include "cml/CmlParser.h"
#include "cml/EventQueryMessages/EventQueryResponse.h"
#include "event_query/EventQueryServices.h"
#include "zavToolsLib/ConvertUTF.h"

namespace {

// The one place that turns the bytes into a document: the parsing step of ProcessResponse, with
// the default reading limits.
std::unique_ptr<zav::cml::CCmlDocumentBase> ReadAnswer(const uint8_t* data, size_t size) {
    return zav::cml::DeserializeBuffer(data, size, zav::cml::CCmlReadLimits(),
                                       zav::cml::CML_LOOKUP_MATCH);
}

// The application gets NUL-terminated UTF-8: an embedded NUL would cut a text short (XML cannot
// carry one), and anything but clean UTF-8 breaks the interface's promise.
void CheckCallbackText(const std::string& text) {
    ZAV_FUZZ_CHECK(text.find('\0') == std::string::npos);
    std::wstring decoded;
    ZAV_FUZZ_CHECK(zavToolsLib::Utf8ToUtf32(text, decoded, false) == 0);
}

// The callbacks' view of one response: every text converted as ExecuteCallbacks converts it.
void DeliverResults(const zav::cml::CEventQueryResponse& response) {
    const uint32_t count = response.GetResultItemCount();
    for (uint32_t index = 0; index < count; ++index) {
        const zav::cml::CEventQueryResultItem& item = response.GetResultItem(index);
        CheckCallbackText(zavToolsLib::ToUtf8(item.GetResultId()));
        for (auto pair = item.DataBegin(); pair != item.DataEnd(); ++pair) {
            CheckCallbackText(zavToolsLib::ToUtf8(pair->first));
            CheckCallbackText(zavToolsLib::ToUtf8(pair->second));
        }
    }
}

void ReadResponses(const zav::cml::CCmlMessage& message) {
    for (const auto& entry : message.GetResponses()) {
        if (!entry || entry->GetNamespace() != zav::cml::CML_NS_EVENT_QUERY_MESSAGES) continue;
        const std::wstring& name = entry->GetTagName();
        if (name == L"get-observances-response" || name == L"get-vulnerabilities-response") {
            const auto* response = dynamic_cast<const zav::cml::CEventQueryResponse*>(entry.get());
            if (response == nullptr)
                return;  // ProcessResponse stops here with a bad-response status
            DeliverResults(*response);
        } else {
            // The name goes into the trace line of an unexpected element.
            (void)zavToolsLib::ToUtf8(name);
        }
    }
}

}  // namespace

// The transport gives up on bodies above this size, so none reaches ProcessResponse.
constexpr size_t kMaxAnswerSize = 64u << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxAnswerSize) return 0;
    static const bool registered = (CEventQueryServices::RegisterDocumentClasses(), true);
    (void)registered;

    // Failures are reported as CCmlException (CSchemaException included), which ProcessResponse
    // turns into a status. Any other exception escaping the reader is a finding.
    try {
        const std::unique_ptr<zav::cml::CCmlDocumentBase> document = ReadAnswer(data, size);
        if (const auto* message = dynamic_cast<const zav::cml::CCmlMessage*>(document.get())) {
            ReadResponses(*message);
        }
    } catch (const zav::cml::CCmlException&) {
    }
    return 0;
}
