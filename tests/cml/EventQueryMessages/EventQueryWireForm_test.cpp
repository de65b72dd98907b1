// The characters the vocabulary puts on the wire, checked line by line inside whole documents.
#include <sstream>
#include <string>
#include <vector>

#include "EventQueryTestSupport.h"
#include "cml/CmlWriter.h"

namespace zav::cml::test {
namespace {

// The lines of a compound document whose body holds one block (request or response) with the
// given element lines, each indented to the block's content level (five levels in).
std::vector<std::string> ExpectedDocument(const std::string& block,
                                          const std::vector<std::string>& element) {
    std::vector<std::string> lines = {
        "<?xml version='1.0' encoding='UTF-8' standalone='no'?>",
        "<zav xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance'",
        "    xsi:schemaLocation='http://schemas.zav.example.org ./schemas/Zav1_0_1.xsd",
        "    http://schemas.zav.example.org/cml/Message ./schemas/cml/Message/Message1_0_0.xsd",
        "    http://schemas.zav.example.org/cml/Message/EventQueryMessages "
        "./schemas/cml/Message/EventQueryMessages/EventQueryMessages1_0_0.xsd'",
        "    xmlns='http://schemas.zav.example.org' schema-version='1.0.1'>",
        "    <cml xmlns='http://schemas.zav.example.org/cml/Message' schema-version='1.0.0'>",
        "        <message-envelope broadcast='false' "
        "message-id='0f8fad5b-d9cb-469f-a165-70867728950e'>",
        "            <source name='probe' namespace='http://schemas.zav.example.org/agents' "
        "ip-address='10.1.2.3' host-name='host-1' "
        "agent-id='6ba7b810-9dad-11d1-80b4-00c04fd430c8'/>",
        "            <message-body>",
        "                <" + block + ">"};
    for (const std::string& line : element) lines.push_back(std::string(20, ' ') + line);
    lines.push_back("                </" + block + ">");
    for (const char* line :
         {"            </message-body>", "        </message-envelope>", "    </cml>", "</zav>"}) {
        lines.emplace_back(line);
    }
    return lines;
}

void ExpectLines(const std::vector<std::string>& expected, const std::string& written) {
    const std::vector<std::string> lines = Lines(written);
    ASSERT_EQ(expected.size(), lines.size()) << written;
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(expected[i], lines[i]) << "line " << i;
}

// The wide writer puts the same characters after its own declaration.
void ExpectWideWritesTheSame(const CCmlDocumentBase& doc, const std::string& narrow) {
    std::wostringstream wide;
    doc.Serialize(wide);
    const std::string text = zavToolsLib::ToUtf8(wide.str());
    EXPECT_EQ(narrow.substr(narrow.find('\n')), text.substr(text.find('\n')));
}

class EventQueryWireForm : public EventQueryTest {};

TEST_F(EventQueryWireForm, VulnerabilitiesByAddressExample) {
    CGetVulnerabilitiesByAddressRequest request(REQUEST_ID);
    request.SetCount(100);
    request.SetStartTime(L"2007-03-01T00:00:00Z");
    request.SetEndTime(L"2007-03-02T00:00:00Z");
    request.SetStartAddress(L"10.0.0.1");
    request.SetEndAddress(L"10.0.0.255");
    request.SetAddressType(L"ipv4");
    const CCmlMessage message = WithRequest(request);
    const std::string written = Narrow(message);
    ExpectLines(
        ExpectedDocument(
            "request",
            {"<get-vulnerabilities-by-address-request xmlns='" + std::string(NS8) +
                 "' schema-version='1.0.0' request-id='7c9e6679-7425-40de-944b-e07fc1f90ae7' "
                 "count='100'>",
             "    <time-range start-time='2007-03-01T00:00:00.000000Z' "
             "end-time='2007-03-02T00:00:00.000000Z'/>",
             "    <vuln-type fixed='false'/>",
             "    <address-range start-address='10.0.0.1' end-address='10.0.0.255' "
             "address-type='ipv4'/>",
             "</get-vulnerabilities-by-address-request>"}),
        written);
    ExpectWideWritesTheSame(message, written);
}

TEST_F(EventQueryWireForm, ObservancesByGroupExampleWithDefaults) {
    CGetObservancesByGroupRequest request(REQUEST_ID);
    request.SetGroupId(L"7");
    request.SetCount(50);
    request.SetStartTime(L"2007-03-05T00:00:00Z");
    request.SetEndTime(L"2007-03-06T12:30:09.5+01:00");
    const CCmlMessage message = WithRequest(request);
    const std::string written = Narrow(message);
    ExpectLines(
        ExpectedDocument(
            "request",
            {"<get-observances-by-group-request xmlns='" + std::string(NS8) +
                 "' schema-version='1.0.0' request-id='7c9e6679-7425-40de-944b-e07fc1f90ae7' "
                 "count='50' group-id='7'>",
             "    <time-range start-time='2007-03-05T00:00:00.000000Z' "
             "end-time='2007-03-06T12:30:09.500000+01:00'/>",
             "    <analysis-type source-analysis='true' target-analysis='true' "
             "sensor-analysis='false'/>",
             "    <observance-type type-id-list='2,8' exclude='true'/>",
             "</get-observances-by-group-request>"}),
        written);
    ExpectWideWritesTheSame(message, written);
}

TEST_F(EventQueryWireForm, VulnerabilitiesResponseExample) {
    CGetVulnerabilitiesResponse response(REQUEST_ID);
    response.SetCount(1);
    CEventQueryResultItem& item =
        response.AddResultItem(CEventQueryResultItem(L"vulnerability-item", L"17"));
    item.AddData(L"a", L"1");
    item.AddData(L"b", L"2");
    const CCmlMessage message = WithResponse(response);
    const std::string written = Narrow(message);
    // Result data stand two levels deeper than their item.
    ExpectLines(ExpectedDocument("response",
                                 {"<get-vulnerabilities-response xmlns='" + std::string(NS8) +
                                      "' schema-version='1.0.0' "
                                      "request-id='7c9e6679-7425-40de-944b-"
                                      "e07fc1f90ae7' count='1'>",
                                  "    <vulnerability-item result-id='17'>",
                                  "            <result-data name='a' value='1'/>",
                                  "            <result-data name='b' value='2'/>",
                                  "    </vulnerability-item>", "</get-vulnerabilities-response>"}),
                written);
    ExpectWideWritesTheSame(message, written);
}

TEST_F(EventQueryWireForm, PagingFilterAndOptionalParts) {
    // Zero count and empty cursors stay off the wire even with the default-values switch on,
    // which does bring out need-reply and code.
    const bool previous = SetSerializeDefaults(true);
    CGetVulnerabilitiesByGroupRequest group(REQUEST_ID);
    CGetObservancesResponse empty(REQUEST_ID);
    const std::wstring groupText = Element(group);
    const std::wstring emptyText = Element(empty);
    SetSerializeDefaults(previous);
    EXPECT_EQ(L"<get-vulnerabilities-by-group-request xmlns='" + NS +
                  L"' schema-version='1.0.0' request-id='" + REQUEST_ID +
                  L"' need-reply='true'>\n    <time-range "
                  L"start-time='0000-00-00T00:00:00.000000' "
                  L"end-time='0000-00-00T00:00:00.000000'/>\n    <vuln-type fixed='false'/>\n"
                  L"</get-vulnerabilities-by-group-request>\n",
              groupText);
    EXPECT_EQ(L"<get-observances-response xmlns='" + NS + L"' schema-version='1.0.0' request-id='" +
                  REQUEST_ID + L"' code='0x0'/>\n",
              emptyText);

    // Count, cursors and filter in their order; an empty address range is still written; an
    // item without pairs or id is one empty element.
    CGetVulnerabilitiesByAddressRequest address(L"r");
    address.SetNeedReply(false);
    address.SetCount(25);
    address.SetStartCursor(L"c1");
    address.SetEndCursor(L"c'2");
    address.AddResultFilterItem(L"cve");
    address.AddResultFilterItem(L"cve");
    address.SetFixed(true);
    const std::wstring written = Element(address);
    EXPECT_NE(std::wstring::npos,
              written.find(L" request-id='r' need-reply='false' count='25' start-cursor='c1' "
                           L"end-cursor='c&apos;2'>\n"));
    EXPECT_NE(std::wstring::npos,
              written.find(L"/>\n    <result-filter>\n        <result-item name='cve'/>\n"
                           L"        <result-item name='cve'/>\n    </result-filter>\n"
                           L"    <vuln-type fixed='true'/>\n    <address-range start-address='' "
                           L"end-address='' address-type=''/>\n</get"));

    CGetVulnerabilitiesResponse response(L"r");
    response.AddResultItem(CEventQueryResultItem(L"vulnerability-item"));
    EXPECT_NE(std::wstring::npos, Element(response).find(L"\n    <vulnerability-item/>\n</"));
}

TEST_F(EventQueryWireForm, ChildCountsMatchWhatIsWritten) {
    CGetVulnerabilitiesByAddressRequest vulnAddress;
    CGetVulnerabilitiesByGroupRequest vulnGroup;
    CGetObservancesByAddressRequest obsAddress;
    CGetObservancesByGroupRequest obsGroup;
    CEventQueryRequest* requests[] = {&vulnAddress, &vulnGroup, &obsAddress, &obsGroup};
    const uint32_t withoutFilter[] = {3, 2, 4, 3};
    for (std::size_t i = 0; i < 4; ++i) {
        for (uint32_t filtered = 0; filtered < 2; ++filtered) {
            if (filtered == 1) requests[i]->AddResultFilterItem(L"name");
            std::ostringstream os;
            const int written = requests[i]->SerializeContent(os, 0);
            const uint32_t expected = withoutFilter[i] + filtered;
            EXPECT_EQ(expected, requests[i]->GetChildElementCount()) << i;
            EXPECT_EQ(static_cast<int>(expected), written) << i;
            // One line per child; a filter adds its closing line and one per name.
            EXPECT_EQ(expected + 2 * filtered, Lines(os.str()).size()) << i;
        }
    }

    CGetObservancesResponse response;
    EXPECT_EQ(0u, response.GetChildElementCount());
    response.AddResultItem(CEventQueryResultItem(L"observance-item", L"1")).AddData(L"n", L"v");
    response.AddResultItem(CEventQueryResultItem(L"observance-item", L"2"));
    std::ostringstream os;
    EXPECT_EQ(2, response.SerializeContent(os, 1));
    EXPECT_EQ(2u, response.GetChildElementCount());
    EXPECT_EQ(1, response.GetResultItem(0).SerializeContent(os, 0));
}

}  // namespace
}  // namespace zav::cml::test
