// The schemas under schemas/ describe exactly what the library writes, and the vocabulary is
// registered with the class factory and the version registry when the library is loaded.

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

    // A message as the client sends it, with a destination and agent groups in the envelope.
    static CCmlMessage Envelope() {
        CCmlMessage message(Source(), MESSAGE_ID);
        message.GetSource().AddAgentGroup(TRICKY);
        message.AddDestination(CAgentInfo(L"urn:servers", L"eqs", L"", L"", L"", L"", L""));
        return message;
    }
};

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(std::string::npos, at) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// Every request and response the library writes is valid, one message for each kind; a misspelled
// or misplaced element or a value out of its type is not.
TEST_F(EventQuerySchemas, WhatTheLibraryWritesAndNothingElseIsValid) {
    // Every request filled, and one with every default and never-set times; the same for the
    // responses.
    CCmlMessage requests = Envelope(), responses = Envelope();
    Add(requests, Filled<CGetVulnerabilitiesByAddressRequest>());
    Add(requests, Filled<CGetVulnerabilitiesByGroupRequest>());
    Add(requests, Filled<CGetObservancesByAddressRequest>());
    Add(requests, Filled<CGetObservancesByGroupRequest>());
    Add(requests, CGetObservancesByGroupRequest(REQUEST_ID));
    Add(responses, Filled<CGetVulnerabilitiesResponse>());
    Add(responses, Filled<CGetObservancesResponse>());
    Add(responses, CGetObservancesResponse(REQUEST_ID));
    const std::string request = Narrow(requests), response = Narrow(responses);
    EXPECT_NO_THROW(Validate(requests, request)) << request;
    EXPECT_NO_THROW(Validate(responses, response)) << response;

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
    // The vocabulary's load-time registration fills the version registry too.
    EXPECT_EQ(L"1.0.0", GetLibraryVersion(L"EventQueryMessages"));
}

}  // namespace
}  // namespace zav::cml::test
