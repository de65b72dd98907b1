// The schemas under schemas/ describe exactly what the library writes, and the vocabulary is
// registered with the class factory and the version registry when the library is loaded.
#include <memory>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "EventQueryTestSupport.h"
#include "cml/CmlSchemaException.h"
#include "cml/CmlVersionRegistry.h"

namespace zav::cml::test {
namespace {

class EventQuerySchemas : public EventQueryTest {
protected:
    static std::wstring Folder() {
        return zavToolsLib::FromUtf8(ZAV_TEST_SOURCE_DIR) + L"/schemas";
    }

    // Parses xml validating against the schemas of the message's namespaces.
    static void Validate(const CCmlMessage& message, const std::string& xml) {
        NamespaceSet namespaces;
        message.GetNamespaces(namespaces);
        Read(xml, CML_VALIDATE, &namespaces, Folder());
    }

    // A message as the client sends it, with a destination and agent groups in the envelope.
    static CCmlMessage Envelope() {
        CCmlMessage message = Message();
        message.GetSource().AddAgentGroup(TRICKY);
        CAgentInfo server(L"urn:servers", L"eqs", L"", L"", L"", L"", L"");
        message.AddDestination(server);
        return message;
    }

    static std::vector<std::unique_ptr<CCmlRequest>> Requests() {
        std::vector<std::unique_ptr<CCmlRequest>> requests;
        auto vulnAddress = std::make_unique<CGetVulnerabilitiesByAddressRequest>(REQUEST_ID);
        vulnAddress->SetStartAddress(L"10.0.0.1");
        vulnAddress->SetEndAddress(L"10.0.0.255");
        vulnAddress->SetAddressType(L"ipv4");
        auto vulnGroup = std::make_unique<CGetVulnerabilitiesByGroupRequest>(REQUEST_ID);
        vulnGroup->SetGroupId(TRICKY);
        vulnGroup->SetFixed(true);
        auto obsAddress = std::make_unique<CGetObservancesByAddressRequest>(REQUEST_ID);
        obsAddress->SetTypeIdList(L"");
        obsAddress->SetSensorAnalysis(true);
        auto obsGroup = std::make_unique<CGetObservancesByGroupRequest>(REQUEST_ID);
        obsGroup->SetGroupId(L"7");
        for (CEventQueryRequest* request : std::initializer_list<CEventQueryRequest*>{
                 vulnAddress.get(), vulnGroup.get(), obsAddress.get(), obsGroup.get()}) {
            request->SetStartTime(L"2007-03-01T00:00:00Z");
            request->SetEndTime(L"2007-03-02T10:00:00.25-05:30");
            request->SetCount(100);
        }
        // Paging, filters and need-reply on two of them.
        for (CEventQueryRequest* request :
             std::initializer_list<CEventQueryRequest*>{vulnGroup.get(), obsAddress.get()}) {
            request->SetNeedReply(false);
            request->SetStartCursor(TRICKY);
            request->SetEndCursor(L"e");
            request->AddResultFilterItem(TRICKY);
            request->AddResultFilterItem(L"cve");
        }
        requests.push_back(std::move(vulnAddress));
        requests.push_back(std::move(vulnGroup));
        requests.push_back(std::move(obsAddress));
        requests.push_back(std::move(obsGroup));
        // Never-set times and every default, as a request built without any setter.
        requests.push_back(std::make_unique<CGetObservancesByGroupRequest>(REQUEST_ID));
        return requests;
    }

    static std::vector<std::unique_ptr<CCmlResponse>> Responses() {
        std::vector<std::unique_ptr<CCmlResponse>> responses;
        auto vulnerabilities = std::make_unique<CGetVulnerabilitiesResponse>(REQUEST_ID);
        vulnerabilities->SetCode(0xC7580001u);
        vulnerabilities->SetText(TRICKY);
        vulnerabilities->SetCount(2);
        vulnerabilities->SetStartCursor(L"s");
        vulnerabilities->SetEndCursor(TRICKY);
        CEventQueryResultItem item(L"vulnerability-item", L"17");
        item.AddData(L"a", TRICKY);
        item.AddData(L"a", L"");
        vulnerabilities->AddResultItem(item);
        vulnerabilities->AddResultItem(CEventQueryResultItem(L"vulnerability-item"));
        auto observances = std::make_unique<CGetObservancesResponse>(REQUEST_ID);
        observances->AddResultItem(CEventQueryResultItem(L"observance-item", L"1"))
            .AddData(L"n", L"v");
        responses.push_back(std::move(vulnerabilities));
        responses.push_back(std::move(observances));
        responses.push_back(std::make_unique<CGetObservancesResponse>(REQUEST_ID));
        return responses;
    }
};

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(std::string::npos, at) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST_F(EventQuerySchemas, EverythingTheLibraryWritesIsValid) {
    for (std::unique_ptr<CCmlRequest>& request : Requests()) {
        CCmlMessage message = Envelope();
        message.AddRequest(std::move(request));
        const std::string xml = Narrow(message);
        EXPECT_NO_THROW(Validate(message, xml)) << xml;
    }
    for (std::unique_ptr<CCmlResponse>& response : Responses()) {
        CCmlMessage message = Envelope();
        message.AddResponse(std::move(response));
        const std::string xml = Narrow(message);
        EXPECT_NO_THROW(Validate(message, xml)) << xml;
    }
    // Several requests in one body, and agent groups in the namespace the reader expects.
    CCmlMessage message = Envelope();
    for (std::unique_ptr<CCmlRequest>& request : Requests()) message.AddRequest(std::move(request));
    const std::string several = Narrow(message);
    EXPECT_NO_THROW(Validate(message, several));
    EXPECT_NO_THROW(
        Validate(message, Replaced(several, "<destination name='eqs' namespace='urn:servers'/>",
                                   "<destination name='eqs'><p:agent-group xmlns:p='"
                                   "http://schemas.zav.example.org/cml/CommonDocuments/Property' "
                                   "name='g'/></destination>")));
}

TEST_F(EventQuerySchemas, MisspelledOrMisplacedElementsAreInvalid) {
    CCmlMessage requests = Envelope();
    for (std::unique_ptr<CCmlRequest>& request : Requests())
        requests.AddRequest(std::move(request));
    const std::string request = Narrow(requests);
    ASSERT_NO_THROW(Validate(requests, request));

    CCmlMessage responses = Envelope();
    for (std::unique_ptr<CCmlResponse>& response : Responses()) {
        responses.AddResponse(std::move(response));
    }
    const std::string response = Narrow(responses);
    ASSERT_NO_THROW(Validate(responses, response));

    const std::vector<std::string> invalidRequests = {
        Replaced(request, "<vuln-type ", "<vuln-typ "),
        Replaced(request, "<observance-type ", "<observance_type "),
        Replaced(request, "<result-item ", "<result-items "),
        Replaced(Replaced(request, "<get-observances-by-group-request ",
                          "<get-observance-by-group-request "),
                 "</get-observances-by-group-request>", "</get-observance-by-group-request>"),
        // vuln-type ahead of time-range.
        Replaced(Replaced(request, "<vuln-type fixed='false'/>", ""), "<time-range ",
                 "<vuln-type fixed='false'/><time-range "),
        // address-range in a by-group request.
        Replaced(request, "<vuln-type fixed='true'/>",
                 "<vuln-type fixed='true'/><address-range start-address='' end-address='' "
                 "address-type=''/>"),
        Replaced(request, "fixed='true'", "fixed='yes'"),
        Replaced(request, "count='100'", "count='-1'"),
        Replaced(request, "start-time='2007-03-01T00:00:00.000000Z'", "start-time='yesterday'"),
        Replaced(Replaced(request, "<message-body>", "<message-bodies>"), "</message-body>",
                 "</message-bodies>"),
        Replaced(request, "<source ", "<sources "),
    };
    for (const std::string& xml : invalidRequests) {
        EXPECT_THROW(Validate(requests, xml), CSchemaException) << xml;
    }
    const std::vector<std::string> invalidResponses = {
        Replaced(response, "<result-data ", "<result-datum "),
        Replaced(response, "<observance-item ", "<vulnerability-item "),
        Replaced(response, "code='0xc7580001'", "code='bad'"),
    };
    for (const std::string& xml : invalidResponses) {
        EXPECT_THROW(Validate(responses, xml), CSchemaException) << xml;
    }
}

TEST_F(EventQuerySchemas, VocabularyIsRegisteredAtLoadTime) {
    // Nothing in this program registers the vocabulary explicitly.
    EXPECT_EQ(L"1.0.0", GetLibraryVersion(L"EventQueryMessages"));
    CCmlDocumentClassFactory* factory =
        GetGlobalClassFactory()->GetDocumentClassFactory(NS.c_str(), L"1.0.0", CML_LOOKUP_EXACT);
    ASSERT_NE(nullptr, factory);
    const std::vector<std::pair<const wchar_t*, const std::type_info*>> classes = {
        {L"get-vulnerabilities-by-address-request", &typeid(CGetVulnerabilitiesByAddressRequest)},
        {L"get-vulnerabilities-by-group-request", &typeid(CGetVulnerabilitiesByGroupRequest)},
        {L"get-observances-by-address-request", &typeid(CGetObservancesByAddressRequest)},
        {L"get-observances-by-group-request", &typeid(CGetObservancesByGroupRequest)},
        {L"get-vulnerabilities-response", &typeid(CGetVulnerabilitiesResponse)},
        {L"get-observances-response", &typeid(CGetObservancesResponse)},
    };
    for (const auto& [tag, type] : classes) {
        std::unique_ptr<CCmlDocumentBase> prototype = factory->GetDocument(tag);
        ASSERT_NE(nullptr, prototype) << zavToolsLib::ToUtf8(tag);
        EXPECT_EQ(*type, typeid(*prototype));
        EXPECT_EQ(tag, prototype->GetTagName());
        EXPECT_EQ(NS, prototype->GetNamespace());
        EXPECT_EQ(L"1.0.0", prototype->GetDocumentSchemaVersion());
    }
    const auto response = std::unique_ptr<CEventQueryResponse>(dynamic_cast<CEventQueryResponse*>(
        factory->GetDocument(L"get-observances-response").release()));
    ASSERT_NE(nullptr, response);
    EXPECT_EQ(L"observance-item", response->GetResultItemTagName());
}

}  // namespace
}  // namespace zav::cml::test
