// How the readers treat documents they did not write: which children count, which are skipped,
// and how attribute texts turn into fields.

#include "EventQueryTestSupport.h"
#include "cml/CmlDOM_Element.h"

namespace zav::cml::test {
namespace {

// The same children once more, each in a way the reader must not recognise: in a foreign
// namespace, in no namespace, and under a prefix bound to the vocabulary's own namespace.
std::string Disguised(const std::string& tag, const std::string& attributes) {
    return "<" + tag + " xmlns='urn:other' " + attributes + "/><" + tag + " xmlns='' " +
           attributes + "/><eq:" + tag + " xmlns:eq='" + NS8 + "' " + attributes + "/>";
}

class EventQueryReading : public EventQueryTest {};

TEST_F(EventQueryReading, CommonRequestPartSkipsWhatItDoesNotKnow) {
    const std::string xml = Document(
        "request", "get-vulnerabilities-by-address-request", "count='many' start-cursor='a&amp;b'",
        "text<!-- comment --><unknown-child/>"
        "<time-range start-time='2007-03-01T10:20:30Z' end-time='not a time'/>"
        "<result-filter>x<!-- c --><result-item name='first'/>" +
            Disguised("result-item", "name='foreign'") +
            "<other name='other'/><result-item name='second'/><result-item/></result-filter>"
            "<vuln-type fixed='true'/><vuln-type fixed='True'/><vuln-type/>"
            "<address-range start-address='1.1.1.1' end-address='1.1.1.2' address-type='ipv4'/>"
            "<address-range start-address='2.2.2.1' end-address='2.2.2.2'/>" +
            Disguised("time-range", "start-time='1999-01-01T00:00:00Z'") +
            Disguised("vuln-type", "fixed='true'") +
            Disguised("address-range", "start-address='9.9.9.9'") + Disguised("result-filter", "") +
            "<!-- trailing -->");
    const auto read = ReadOne<CGetVulnerabilitiesByAddressRequest>(xml);
    ASSERT_NE(nullptr, read);
    EXPECT_EQ(0u, read->GetCount());
    EXPECT_EQ(L"a&b", read->GetStartCursor());
    EXPECT_EQ(L"", read->GetEndCursor());
    EXPECT_EQ(2007, read->GetStartTime().GetYear());
    EXPECT_EQ(10, read->GetStartTime().GetHour());
    EXPECT_EQ(0, read->GetEndTime().GetYear());
    const CEventQueryRequest::ResultFilterList filter = {L"first", L"second", L""};
    EXPECT_EQ(filter, read->GetResultFilter());
    // "True" is not "true"; a vuln-type without fixed keeps what the one before set.
    EXPECT_FALSE(read->GetFixed());
    // The last address-range wins, and an absent attribute reads as empty.
    EXPECT_EQ(L"2.2.2.1", read->GetStartAddress());
    EXPECT_EQ(L"2.2.2.2", read->GetEndAddress());
    EXPECT_EQ(L"", read->GetAddressType());
}

TEST_F(EventQueryReading, ObservanceFlagsFollowTheirOwnRules) {
    // Source and target analysis and exclude turn off only for "false"; sensor analysis turns
    // on only for "true". Absent attributes and children keep the defaults.
    const auto read = ReadOne<CGetObservancesByAddressRequest>(Document(
        "request", "get-observances-by-address-request", "",
        "<analysis-type source-analysis='no' target-analysis='false' sensor-analysis='yes'/>"
        "<observance-type exclude='FALSE'/>" +
            Disguised("analysis-type", "source-analysis='false' sensor-analysis='true'") +
            Disguised("observance-type", "type-id-list='9'")));
    ASSERT_NE(nullptr, read);
    EXPECT_TRUE(read->GetSourceAnalysis());
    EXPECT_FALSE(read->GetTargetAnalysis());
    EXPECT_FALSE(read->GetSensorAnalysis());
    EXPECT_EQ(L"2,8", read->GetTypeIdList());
    EXPECT_TRUE(read->GetExclude());
}

TEST_F(EventQueryReading, ResponsesKeepOnlyTheirOwnItems) {
    const std::string items =
        "<vulnerability-item result-id='v1'><result-data name='a' value='1'/></vulnerability-item>"
        "<observance-item result-id='o1'>t<result-data name='n' value='first'/>"
        "<result-data name='N' value='upper'/><result-data name='n' value='second'/>"
        "<result-data name='novalue'/>" +
        Disguised("result-data", "name='hidden' value='x'") + "</observance-item><!-- c -->" +
        Disguised("observance-item", "result-id='o2'") + "<observance-item/>";
    const auto observances = ReadOne<CGetObservancesResponse>(
        Document("response", "get-observances-response", "", items));
    ASSERT_NE(nullptr, observances);
    ASSERT_EQ(2u, observances->GetResultItemCount());
    const CEventQueryResultItem& item = observances->GetResultItem(0);
    EXPECT_EQ(L"o1", item.GetResultId());
    ASSERT_EQ(4u, item.GetDataCount());
    // Duplicates are kept in order; lookups find the first; names compare case-sensitively.
    std::wstring walked;
    for (auto it = item.DataBegin(); it != item.DataEnd(); ++it) walked += it->first + it->second;
    EXPECT_EQ(L"nfirstNuppernsecondnovalue", walked);
    EXPECT_EQ(L"first", *item.FindDataValue(L"n"));
    EXPECT_EQ(nullptr, item.FindDataValue(L"NOVALUE"));
    EXPECT_EQ(L"", observances->GetResultItem(1).GetResultId());
    ExpectCmlError([&] { observances->GetResultItem(2); }, L"Fetching result item",
                   L"Invalid index", CML_E_INVALID_INDEX);

    // Items of the other kind are not read at all.
    const auto vulnerabilities = ReadOne<CGetVulnerabilitiesResponse>(
        Document("response", "get-vulnerabilities-response", "", items));
    ASSERT_NE(nullptr, vulnerabilities);
    ASSERT_EQ(1u, vulnerabilities->GetResultItemCount());
    EXPECT_EQ(L"v1", vulnerabilities->GetResultItem(0).GetResultId());
}

TEST_F(EventQueryReading, NullElementsAreRefusedWithTheClassContext) {
    const auto expectRefused = [](CEventQueryRequest&& request) {
        ExpectCmlError([&] { request.Deserialize(CCmlDOM_Element()); },
                       L"Deserializing '" + request.GetTagName() + L"' node",
                       L"Null element received", CML_E_NULL_ELEMENT);
    };
    expectRefused(CGetVulnerabilitiesByAddressRequest());
    expectRefused(CGetVulnerabilitiesByGroupRequest());
    expectRefused(CGetObservancesByAddressRequest());
    expectRefused(CGetObservancesByGroupRequest());
}

}  // namespace
}  // namespace zav::cml::test
