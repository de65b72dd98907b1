// Shared pieces of the event query vocabulary tests: compound messages around one request or
// response, and documents written by hand for the readers.
#pragma once

#include <type_traits>

#include "cml/CmlClassFactory.h"
#include "cml/CmlTestSupport.h"
#include "cml/EventQueryMessages/GetObservancesByAddressRequest.h"
#include "cml/EventQueryMessages/GetObservancesByGroupRequest.h"
#include "cml/EventQueryMessages/GetObservancesResponse.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesByAddressRequest.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesByGroupRequest.h"
#include "cml/EventQueryMessages/GetVulnerabilitiesResponse.h"
#include "zavToolsLib/ConvertUTF.h"

namespace zav::cml::test {

inline const std::wstring NS = CML_NS_EVENT_QUERY_MESSAGES;
inline const char NS8[] = "http://schemas.zav.example.org/cml/Message/EventQueryMessages";
inline const wchar_t REQUEST_ID[] = L"7c9e6679-7425-40de-944b-e07fc1f90ae7";
// Everything a writer must escape or carry through unchanged: quote, ampersand, angle brackets,
// a line feed and characters outside ASCII (two bytes, three bytes and four bytes in UTF-8).
inline const std::wstring TRICKY = L"it's <a> & \"b\"\ncaf\u00e9 \u4e2d\U0001F600";

// A document of class T with every field set, texts carrying TRICKY.
template <class T>
T Filled() {
    T doc(REQUEST_ID);
    if constexpr (std::is_base_of_v<CEventQueryRequest, T>) {
        doc.SetNeedReply(false);
        doc.SetCount(4000000000u);
        doc.SetStartCursor(TRICKY);
        doc.SetEndCursor(L"end " + TRICKY);
        doc.SetStartTime(L"2007-03-05T14:07:09.5+01:00");
        doc.SetEndTime(L"2008-12-31T23:59:59.25-05:30");
        for (const std::wstring& name : {TRICKY, std::wstring(L"cve"), std::wstring(L"cve")})
            doc.AddResultFilterItem(name);
    }
    if constexpr (std::is_same_v<T, CGetVulnerabilitiesByAddressRequest> ||
                  std::is_same_v<T, CGetObservancesByAddressRequest>) {
        doc.SetStartAddress(L"fe80::1");
        doc.SetEndAddress(TRICKY);
        doc.SetAddressType(L"ipv6");
    }
    if constexpr (std::is_same_v<T, CGetVulnerabilitiesByGroupRequest> ||
                  std::is_same_v<T, CGetObservancesByGroupRequest>) {
        doc.SetGroupId(TRICKY);
    }
    if constexpr (std::is_base_of_v<CGetVulnerabilitiesRequest, T>) doc.SetFixed(true);
    if constexpr (std::is_base_of_v<CGetObservancesRequest, T>) {
        doc.SetSourceAnalysis(false);  // source and target apart: a swap must show
        doc.SetTargetAnalysis(true);
        doc.SetSensorAnalysis(true);
        doc.SetTypeIdList(L"1,'3'&" + TRICKY);
        doc.SetExclude(false);
    }
    if constexpr (std::is_base_of_v<CEventQueryResponse, T>) {
        doc.SetCode(0xC7580001u);
        doc.SetText(TRICKY);
        doc.SetCount(3);
        doc.SetStartCursor(TRICKY);
        doc.SetEndCursor(L"e");
        CEventQueryResultItem& item =
            doc.AddResultItem(CEventQueryResultItem(doc.GetResultItemTagName(), TRICKY));
        item.AddData(L"name", TRICKY);
        item.AddData(L"name", L"second");
        item.AddData(TRICKY, L"");
        doc.AddResultItem(CEventQueryResultItem(doc.GetResultItemTagName()));
    }
    return doc;
}

class EventQueryTest : public ::testing::Test {
protected:
    // The client registers the compound message itself; the vocabulary registers at load time.
    static void SetUpTestSuite() { RegisterCmlMessage(GetGlobalClassFactory()); }

    // Adds a copy of a request or response to the message.
    static void Add(CCmlMessage& message, const CCmlDocumentBase& doc) {
        dynamic_cast<const CCmlRequest*>(&doc) != nullptr ? (void)message.AddRequestCopy(doc)
                                                          : (void)message.AddResponseCopy(doc);
    }
    static CCmlMessage With(const CCmlDocumentBase& doc) {
        CCmlMessage message(Source(), MESSAGE_ID);
        Add(message, doc);
        return message;
    }

    // The only request (or response) of a message read from xml, as class T; else null.
    template <class T>
    static std::unique_ptr<T> ReadOne(const std::string& xml) {
        const std::unique_ptr<CCmlMessage> message = ReadMessage(xml);
        std::unique_ptr<CCmlDocumentBase> copy;
        if constexpr (std::is_base_of_v<CCmlRequest, T>) {
            if (message && message->GetRequests().size() == 1)
                copy.reset(message->GetRequests()[0]->Clone());
        } else {
            if (message && message->GetResponses().size() == 1)
                copy.reset(message->GetResponses()[0]->Clone());
        }
        if (dynamic_cast<T*>(copy.get()) == nullptr) return nullptr;
        return std::unique_ptr<T>(static_cast<T*>(copy.release()));
    }

    // A compound document whose message body holds one element of the vocabulary with the given
    // attributes and children, in a request or response block.
    static std::string Document(const std::string& block, const std::string& tag,
                                const std::string& attributes, const std::string& children) {
        return "<zav xmlns='http://schemas.zav.example.org' schema-version='1.0.1'>"
               "<cml xmlns='http://schemas.zav.example.org/cml/Message' schema-version='1.0.0'>"
               "<message-envelope broadcast='false' message-id='m'><source name='s'/>"
               "<message-body><" +
               block + "><" + tag + " xmlns='" + NS8 + "' schema-version='1.0.0' request-id='r' " +
               attributes + ">" + children + "</" + tag + "></" + block +
               "></message-body></message-envelope></cml></zav>";
    }

    // The element as the wide writer writes it, for comparing whole objects.
    static std::wstring Element(const CCmlDocumentBase& doc) {
        std::wostringstream os;
        doc.SerializeElement(os, 0);
        return os.str();
    }
};

}  // namespace zav::cml::test
