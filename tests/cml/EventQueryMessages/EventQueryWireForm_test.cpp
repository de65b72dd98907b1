// The characters the vocabulary puts on the wire, checked line by line inside whole documents.
#include <tuple>

#include "EventQueryTestSupport.h"
#include "cml/CmlWriter.h"

namespace zav::cml::test {
namespace {

class EventQueryWireForm : public EventQueryTest {
protected:
    // The document of a message around doc holds one block (request or response) with the
    // given element lines, each at the block's content level; the wide writer writes the same
    // characters after its own declaration.
    static void ExpectDocument(const CCmlDocumentBase& doc, const std::string& block,
                               const std::vector<std::string>& element) {
        std::vector<std::string> body = {"                <" + block + ">"};
        for (const std::string& line : element) body.push_back(std::string(20, ' ') + line);
        body.push_back("                </" + block + ">");
        const CCmlMessage message = With(doc);
        const std::string written = Narrow(message);
        ExpectLines(MessageLines(std::string(NS8) + " ./schemas/cml/Message/EventQueryMessages/"
                                                    "EventQueryMessages1_0_0.xsd",
                                 body),
                    written);
        std::wostringstream wide;
        message.Serialize(wide);
        const std::string text = zavToolsLib::ToUtf8(wide.str());
        EXPECT_EQ(written.substr(written.find('\n')), text.substr(text.find('\n')));
    }
    static std::string Open(const char* tag, const std::string& attributes) {
        return std::string("<") + tag + " xmlns='" + NS8 +
               "' schema-version='1.0.0' request-id='7c9e6679-7425-40de-944b-e07fc1f90ae7' " +
               attributes + ">";
    }
};

// Count, cursors and filter in their order, duplicate filter items kept.
TEST_F(EventQueryWireForm, VulnerabilitiesByAddressExample) {
    CGetVulnerabilitiesByAddressRequest request(REQUEST_ID);
    request.SetNeedReply(false);
    request.SetCount(100);
    request.SetStartCursor(L"c1");
    request.SetEndCursor(L"c'2");
    request.AddResultFilterItem(L"cve");
    request.AddResultFilterItem(L"cve");
    request.SetStartTime(L"2007-03-01T00:00:00Z");
    request.SetEndTime(L"2007-03-02T00:00:00Z");
    request.SetStartAddress(L"10.0.0.1");
    request.SetEndAddress(L"10.0.0.255");
    request.SetAddressType(L"ipv4");
    ExpectDocument(request, "request",
                   {Open("get-vulnerabilities-by-address-request",
                         "need-reply='false' count='100' start-cursor='c1' end-cursor='c&apos;2'"),
                    "    <time-range start-time='2007-03-01T00:00:00.000000Z' "
                    "end-time='2007-03-02T00:00:00.000000Z'/>",
                    "    <result-filter>", "        <result-item name='cve'/>",
                    "        <result-item name='cve'/>", "    </result-filter>",
                    "    <vuln-type fixed='false'/>",
                    "    <address-range start-address='10.0.0.1' end-address='10.0.0.255' "
                    "address-type='ipv4'/>",
                    "</get-vulnerabilities-by-address-request>"});
}

// The defaults, then source and target analysis apart, where a switch written from the wrong
// flag shows.
TEST_F(EventQueryWireForm, ObservancesByGroupExample) {
    const auto flag = [](bool on) { return on ? std::string("'true'") : std::string("'false'"); };
    for (const auto& [source, target, sensor] :
         {std::make_tuple(true, true, false), {false, true, true}, {true, false, false}}) {
        const std::string analysis = "source-analysis=" + flag(source) +
                                     " target-analysis=" + flag(target) +
                                     " sensor-analysis=" + flag(sensor);
        CGetObservancesByGroupRequest request(REQUEST_ID);
        request.SetGroupId(L"7");
        request.SetCount(50);
        request.SetStartTime(L"2007-03-05T00:00:00Z");
        request.SetEndTime(L"2007-03-06T12:30:09.5+01:00");
        if (!source || !target || sensor) {
            request.SetSourceAnalysis(source);
            request.SetTargetAnalysis(target);
            request.SetSensorAnalysis(sensor);
        }
        ExpectDocument(request, "request",
                       {Open("get-observances-by-group-request", "count='50' group-id='7'"),
                        "    <time-range start-time='2007-03-05T00:00:00.000000Z' "
                        "end-time='2007-03-06T12:30:09.500000+01:00'/>",
                        "    <analysis-type " + analysis + "/>",
                        "    <observance-type type-id-list='2,8' exclude='true'/>",
                        "</get-observances-by-group-request>"});
    }
}

TEST_F(EventQueryWireForm, VulnerabilitiesResponseExample) {
    CGetVulnerabilitiesResponse response(REQUEST_ID);
    response.SetCount(1);
    CEventQueryResultItem& item =
        response.AddResultItem(CEventQueryResultItem(L"vulnerability-item", L"17"));
    item.AddData(L"a", L"1");
    item.AddData(L"b", L"2");
    // Result data stand two levels deeper than their item.
    ExpectDocument(
        response, "response",
        {Open("get-vulnerabilities-response", "count='1'"),
         "    <vulnerability-item result-id='17'>", "            <result-data name='a' value='1'/>",
         "            <result-data name='b' value='2'/>", "    </vulnerability-item>",
         "</get-vulnerabilities-response>"});
}

// Whole UTC seconds take a short way to the wire; the others, a negative zero among them, must
// come out as the value itself writes them.
TEST_F(EventQueryWireForm, TimesOfARequest) {
    const std::pair<const wchar_t*, const wchar_t*> kTimes[] = {
        {L"2007-03-01T00:00:59Z", L"2007-03-01T00:00:59.000000Z"},
        {L"2007-03-01T00:00:-0Z", L"2007-03-01T00:00:-0.000000Z"},
        {L"2007-03-01T00:00:-0.0", L"2007-03-01T00:00:-0.000000"},
        {L"2007-03-01T00:00:-1Z", L"2007-03-01T00:00:-1.000000Z"}};
    for (const auto& [text, written] : kTimes) {
        CGetVulnerabilitiesByGroupRequest request(L"r");
        request.SetStartTime(text);
        EXPECT_NE(std::wstring::npos,
                  Element(request).find(L" start-time='" + std::wstring(written) + L"'"))
            << Element(request);
    }
}

TEST_F(EventQueryWireForm, PagingFilterAndOptionalParts) {
    // Zero count and empty cursors stay off the wire even with the default-values switch on,
    // which does bring out need-reply and code.
    const bool previous = SetSerializeDefaults(true);
    const std::wstring group = Element(CGetVulnerabilitiesByGroupRequest(L"r"));
    const std::wstring empty = Element(CGetObservancesResponse(L"r"));
    SetSerializeDefaults(previous);
    EXPECT_NE(std::wstring::npos,
              group.find(L" request-id='r' need-reply='true'>\n    <time-range "
                         L"start-time='0000-00-00T00:00:00.000000' "
                         L"end-time='0000-00-00T00:00:00.000000'/>\n    <vuln-type"));
    EXPECT_NE(std::wstring::npos, empty.find(L" request-id='r' code='0x0'/>\n"));

    // An empty address range is still written; an item without pairs or id is one empty element.
    EXPECT_NE(std::wstring::npos,
              Element(CGetVulnerabilitiesByAddressRequest(L"r"))
                  .find(L"<address-range start-address='' end-address='' address-type=''/>\n</"));
    CGetVulnerabilitiesResponse response(L"r");
    response.AddResultItem(CEventQueryResultItem(L"vulnerability-item"));
    EXPECT_NE(std::wstring::npos, Element(response).find(L"\n    <vulnerability-item/>\n</"));
}

}  // namespace
}  // namespace zav::cml::test
