// The schemas under schemas/ describe exactly what the library writes, and the vocabulary is
// registered with the class factory and the version registry when the library is loaded.
#include <memory>
#include <string>
#include <vector>

#include "EventQueryTestSupport.h"
#include "cml/CmlSchemaException.h"
#include "cml/CmlVersionRegistry.h"

namespace zav::cml::test {
namespace {

class EventQuerySchemas : public EventQueryTest {
protected:
    // Parses xml validating against the schemas of the message's namespaces.
    static void Validate(const CCmlMessage& message, const std::string& xml) {
        NamespaceSet namespaces;
        message.GetNamespaces(namespaces);
        ReadMessage(xml, CML_VALIDATE, &namespaces,
                    zavToolsLib::FromUtf8(ZAV_TEST_SOURCE_DIR) + L"/schemas");
    }

    // A message as the client sends it, with a destination and agent groups in the envelope,
    // holding copies of docs.
    static CCmlMessage Envelope(const std::vector<std::unique_ptr<CCmlDocumentBase>>& docs) {
        CCmlMessage message(Source(), MESSAGE_ID);
        message.GetSource().AddAgentGroup(TRICKY);
        message.AddDestination(CAgentInfo(L"urn:servers", L"eqs", L"", L"", L"", L"", L""));
        for (const auto& doc : docs) Add(message, *doc);
        return message;
    }

    template <class... T>
    static std::vector<std::unique_ptr<CCmlDocumentBase>> Make() {
        std::vector<std::unique_ptr<CCmlDocumentBase>> docs;
        (docs.push_back(std::make_unique<T>(Filled<T>())), ...);
        return docs;
    }
    // Every request filled, and one with every default and never-set times.
    static std::vector<std::unique_ptr<CCmlDocumentBase>> Requests() {
        auto docs = Make<CGetVulnerabilitiesByAddressRequest, CGetVulnerabilitiesByGroupRequest,
                         CGetObservancesByAddressRequest, CGetObservancesByGroupRequest>();
        docs.push_back(std::make_unique<CGetObservancesByGroupRequest>(REQUEST_ID));
        return docs;
    }
    static std::vector<std::unique_ptr<CCmlDocumentBase>> Responses() {
        auto docs = Make<CGetVulnerabilitiesResponse, CGetObservancesResponse>();
        docs.push_back(std::make_unique<CGetObservancesResponse>(REQUEST_ID));
        return docs;
    }
};

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(std::string::npos, at) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST_F(EventQuerySchemas, EverythingTheLibraryWritesIsValid) {
    for (auto* make : {&Requests, &Responses}) {
        for (std::unique_ptr<CCmlDocumentBase>& doc : make()) {
            std::vector<std::unique_ptr<CCmlDocumentBase>> one;
            one.push_back(std::move(doc));
            const CCmlMessage message = Envelope(one);
            const std::string xml = Narrow(message);
            EXPECT_NO_THROW(Validate(message, xml)) << xml;
        }
    }
}

TEST_F(EventQuerySchemas, MisspelledOrMisplacedElementsAreInvalid) {
    const CCmlMessage requests = Envelope(Requests());
    const std::string request = Narrow(requests);
    const CCmlMessage responses = Envelope(Responses());
    const std::string response = Narrow(responses);

    const std::vector<std::string> invalidRequests = {
        Replaced(request, "<vuln-type ", "<vuln-typ "),
        Replaced(request, "<observance-type ", "<observance_type "),
        Replaced(request, "<result-item ", "<result-items "),
        // vuln-type ahead of time-range.
        Replaced(Replaced(request, "<vuln-type fixed='true'/>", ""), "<time-range ",
                 "<vuln-type fixed='true'/><time-range "),
        Replaced(request, "fixed='true'", "fixed='yes'"),
        Replaced(request, "count='4000000000'", "count='-1'"),
    };
    for (const std::string& xml : invalidRequests) {
        EXPECT_THROW(Validate(requests, xml), CSchemaException) << xml;
    }
    EXPECT_THROW(Validate(responses, Replaced(response, "<result-data ", "<result-datum ")),
                 CSchemaException);
    EXPECT_THROW(
        Validate(responses, Replaced(response, "<observance-item ", "<vulnerability-item ")),
        CSchemaException);
}

TEST_F(EventQuerySchemas, VocabularyIsRegisteredAtLoadTime) {
    // Nothing in this program registers the vocabulary explicitly.
    EXPECT_EQ(L"1.0.0", GetLibraryVersion(L"EventQueryMessages"));
    EXPECT_NE(nullptr, GetGlobalClassFactory()->GetDocumentClassFactory(NS.c_str(), L"1.0.0",
                                                                        CML_LOOKUP_EXACT));
}

}  // namespace
}  // namespace zav::cml::test
