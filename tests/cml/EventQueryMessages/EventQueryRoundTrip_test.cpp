// Every request and response survives writing, parsing and reading with all its fields, and
// copies (copy construction, Assign, Clone) carry every field.
#include <memory>
#include <string>

#include "EventQueryTestSupport.h"

namespace zav::cml::test {
namespace {

void FillCommon(CEventQueryRequest& request) {
    request.SetNeedReply(false);
    request.SetCount(4000000000u);
    request.SetStartCursor(TRICKY);
    request.SetEndCursor(L"end " + TRICKY);
    request.SetStartTime(L"2007-03-05T14:07:09.5+01:00");
    request.SetEndTime(L"2008-12-31T23:59:59.25-05:30");
    request.AddResultFilterItem(TRICKY);
    request.AddResultFilterItem(L"cve");
    request.AddResultFilterItem(L"cve");
}

template <class T>
void FillAddress(T& request) {
    request.SetStartAddress(L"fe80::1");
    request.SetEndAddress(TRICKY);
    request.SetAddressType(L"ipv6");
}

void FillObservance(CGetObservancesRequest& request) {
    request.SetSourceAnalysis(false);
    request.SetTargetAnalysis(false);
    request.SetSensorAnalysis(true);
    request.SetTypeIdList(L"1,'3'&" + TRICKY);
    request.SetExclude(false);
}

void ExpectCommon(const CEventQueryRequest& read) {
    EXPECT_EQ(REQUEST_ID, read.GetRequestId());
    EXPECT_FALSE(read.GetNeedReply());
    EXPECT_EQ(4000000000u, read.GetCount());
    EXPECT_EQ(TRICKY, read.GetStartCursor());
    EXPECT_EQ(L"end " + TRICKY, read.GetEndCursor());
    EXPECT_EQ(2007, read.GetStartTime().GetYear());
    EXPECT_DOUBLE_EQ(9.5, read.GetStartTime().GetSeconds());
    EXPECT_EQ(1, read.GetStartTime().GetTimeZoneHours());
    EXPECT_EQ(-5, read.GetEndTime().GetTimeZoneHours());
    EXPECT_EQ(30, read.GetEndTime().GetTimeZoneMinutes());
    const CEventQueryRequest::ResultFilterList filter = {TRICKY, L"cve", L"cve"};
    EXPECT_EQ(filter, read.GetResultFilter());
}

class EventQueryRoundTrip : public EventQueryTest {
protected:
    // Writes the request in a message, reads it back, checks that the same class came back and
    // that it writes the same element again; returns it for field checks.
    template <class T>
    static std::unique_ptr<T> RoundTripRequest(const T& request) {
        const std::string written = Narrow(WithRequest(request));
        std::unique_ptr<T> read = ReadRequest<T>(written);
        EXPECT_NE(nullptr, read) << written;
        if (read) {
            EXPECT_EQ(Element(request), Element(*read));
        }
        return read;
    }
    template <class T>
    static std::unique_ptr<T> RoundTripResponse(const T& response) {
        const std::string written = Narrow(WithResponse(response));
        std::unique_ptr<T> read = ReadResponse<T>(written);
        EXPECT_NE(nullptr, read) << written;
        if (read) {
            EXPECT_EQ(Element(response), Element(*read));
        }
        return read;
    }
};

TEST_F(EventQueryRoundTrip, VulnerabilityRequests) {
    CGetVulnerabilitiesByAddressRequest address(REQUEST_ID);
    FillCommon(address);
    FillAddress(address);
    address.SetFixed(true);
    const auto readAddress = RoundTripRequest(address);
    ASSERT_NE(nullptr, readAddress);
    ExpectCommon(*readAddress);
    EXPECT_TRUE(readAddress->GetFixed());
    EXPECT_EQ(L"fe80::1", readAddress->GetStartAddress());
    EXPECT_EQ(TRICKY, readAddress->GetEndAddress());
    EXPECT_EQ(L"ipv6", readAddress->GetAddressType());
    EXPECT_EQ(L"get-vulnerabilities-by-address-request", readAddress->GetTagName());
    EXPECT_EQ(NS, readAddress->GetNamespace());

    CGetVulnerabilitiesByGroupRequest group(REQUEST_ID);
    FillCommon(group);
    group.SetGroupId(TRICKY);
    const auto readGroup = RoundTripRequest(group);
    ASSERT_NE(nullptr, readGroup);
    ExpectCommon(*readGroup);
    EXPECT_FALSE(readGroup->GetFixed());
    EXPECT_EQ(TRICKY, readGroup->GetGroupId());
}

TEST_F(EventQueryRoundTrip, ObservanceRequests) {
    CGetObservancesByAddressRequest address(REQUEST_ID);
    FillCommon(address);
    FillAddress(address);
    FillObservance(address);
    const auto readAddress = RoundTripRequest(address);
    ASSERT_NE(nullptr, readAddress);
    ExpectCommon(*readAddress);
    EXPECT_FALSE(readAddress->GetSourceAnalysis());
    EXPECT_FALSE(readAddress->GetTargetAnalysis());
    EXPECT_TRUE(readAddress->GetSensorAnalysis());
    EXPECT_EQ(L"1,'3'&" + TRICKY, readAddress->GetTypeIdList());
    EXPECT_FALSE(readAddress->GetExclude());
    EXPECT_EQ(TRICKY, readAddress->GetEndAddress());

    // The defaults of a new request come back as they went.
    CGetObservancesByGroupRequest group(REQUEST_ID);
    group.SetGroupId(L"7");
    group.SetTypeIdList(L"");
    const auto readGroup = RoundTripRequest(group);
    ASSERT_NE(nullptr, readGroup);
    EXPECT_TRUE(readGroup->GetNeedReply());
    EXPECT_TRUE(readGroup->GetSourceAnalysis());
    EXPECT_TRUE(readGroup->GetTargetAnalysis());
    EXPECT_FALSE(readGroup->GetSensorAnalysis());
    EXPECT_EQ(L"", readGroup->GetTypeIdList());
    EXPECT_TRUE(readGroup->GetExclude());
    EXPECT_EQ(L"7", readGroup->GetGroupId());
    EXPECT_EQ(0u, readGroup->GetResultFilterCount());
}

TEST_F(EventQueryRoundTrip, Responses) {
    CGetVulnerabilitiesResponse vulnerabilities(REQUEST_ID);
    vulnerabilities.SetCode(0xC7580001u);
    vulnerabilities.SetText(TRICKY);
    vulnerabilities.SetCount(3);
    vulnerabilities.SetStartCursor(TRICKY);
    vulnerabilities.SetEndCursor(L"e");
    CEventQueryResultItem& first =
        vulnerabilities.AddResultItem(CEventQueryResultItem(L"vulnerability-item", TRICKY));
    first.AddData(L"name", TRICKY);
    first.AddData(L"name", L"second");
    first.AddData(TRICKY, L"");
    vulnerabilities.AddResultItem(CEventQueryResultItem(L"vulnerability-item"));
    const auto read = RoundTripResponse(vulnerabilities);
    ASSERT_NE(nullptr, read);
    EXPECT_EQ(0xC7580001u, read->GetCode());
    EXPECT_EQ(TRICKY, read->GetText());
    EXPECT_EQ(3u, read->GetCount());
    EXPECT_EQ(TRICKY, read->GetStartCursor());
    EXPECT_EQ(L"e", read->GetEndCursor());
    ASSERT_EQ(2u, read->GetResultItemCount());
    const CEventQueryResultItem& item = read->GetResultItem(0);
    EXPECT_EQ(L"vulnerability-item", item.GetTagName());
    EXPECT_EQ(TRICKY, item.GetResultId());
    EXPECT_EQ(vulnerabilities.GetResultItem(0).GetData(), item.GetData());
    EXPECT_EQ(0u, read->GetResultItem(1).GetDataCount());
    EXPECT_EQ(L"", read->GetResultItem(1).GetResultId());

    CGetObservancesResponse observances(REQUEST_ID);
    observances.AddResultItem(CEventQueryResultItem(L"observance-item", L"9"))
        .AddData(L"\u00e9", L"<&>");
    const auto readObservances = RoundTripResponse(observances);
    ASSERT_NE(nullptr, readObservances);
    ASSERT_EQ(1u, readObservances->GetResultItemCount());
    EXPECT_EQ(L"<&>", *readObservances->GetResultItem(0).FindDataValue(L"\u00e9"));
    EXPECT_EQ(L"observance-item", readObservances->GetResultItemTagName());
}

TEST_F(EventQueryRoundTrip, CopiesCarryEveryField) {
    CGetObservancesByAddressRequest source(REQUEST_ID);
    FillCommon(source);
    FillAddress(source);
    FillObservance(source);
    const std::wstring expected = Element(source);

    // Assign replaces the whole filter list and every base field; self-assignment is harmless.
    CGetObservancesByAddressRequest target(L"other");
    target.AddResultFilterItem(L"old");
    target.SetNeedReply(true);
    target.Assign(source);
    EXPECT_EQ(expected, Element(target));
    target.Assign(target);
    EXPECT_EQ(expected, Element(target));

    std::unique_ptr<CCmlDocumentBase> clone(source.Clone());
    ASSERT_NE(nullptr, dynamic_cast<CGetObservancesByAddressRequest*>(clone.get()));
    EXPECT_EQ(expected, Element(*clone));

    CGetVulnerabilitiesByGroupRequest group(REQUEST_ID);
    FillCommon(group);
    group.SetGroupId(L"g");
    group.SetFixed(true);
    CGetVulnerabilitiesByGroupRequest groupCopy;
    groupCopy.Assign(group);
    EXPECT_EQ(Element(group), Element(groupCopy));
    std::unique_ptr<CCmlDocumentBase> groupClone(group.Clone());
    ASSERT_NE(nullptr, dynamic_cast<CGetVulnerabilitiesByGroupRequest*>(groupClone.get()));

    CGetVulnerabilitiesResponse response(REQUEST_ID);
    response.SetCode(5);
    response.SetCount(2);
    response.SetStartCursor(L"s");
    response.AddResultItem(CEventQueryResultItem(L"vulnerability-item", L"1")).AddData(L"a", L"1");
    CGetVulnerabilitiesResponse responseCopy;
    responseCopy.AddResultItem(CEventQueryResultItem(L"vulnerability-item", L"old"));
    responseCopy.Assign(response);
    responseCopy.Assign(responseCopy);
    EXPECT_EQ(Element(response), Element(responseCopy));
    std::unique_ptr<CCmlDocumentBase> responseClone(response.Clone());
    ASSERT_NE(nullptr, dynamic_cast<CGetVulnerabilitiesResponse*>(responseClone.get()));
    EXPECT_EQ(Element(response), Element(*responseClone));

    std::unique_ptr<CEventQueryResultItem> itemClone(response.GetResultItem(0).Clone());
    EXPECT_EQ(response.GetResultItem(0).GetData(), itemClone->GetData());
    EXPECT_EQ(L"1", itemClone->GetResultId());
}

}  // namespace
}  // namespace zav::cml::test
