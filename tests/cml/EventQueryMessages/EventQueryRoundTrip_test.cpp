// Every request and response survives writing, parsing and reading with all its fields, and
// copies (Clone, Assign) carry every field.
#include <typeinfo>

#include "EventQueryTestSupport.h"

namespace zav::cml::test {
namespace {

class EventQueryRoundTrip : public EventQueryTest {
protected:
    // Copies of doc and doc written in a message and read back as the same class all write the
    // same element; returns what was read for field checks.
    template <class T>
    static std::unique_ptr<T> RoundTrip(const T& doc) {
        const std::wstring expected = Element(doc);
        std::unique_ptr<CCmlDocumentBase> clone(doc.Clone());
        EXPECT_EQ(typeid(T), typeid(*clone));
        EXPECT_EQ(expected, Element(*clone));
        // Assign replaces lists rather than adding to them; assigning to itself is harmless.
        T assigned(L"other");
        if constexpr (std::is_base_of_v<CEventQueryRequest, T>) {
            assigned.AddResultFilterItem(L"old");
        } else {
            assigned.AddResultItem(CEventQueryResultItem(assigned.GetResultItemTagName(), L"old"));
        }
        assigned.Assign(doc);
        assigned.Assign(assigned);
        EXPECT_EQ(expected, Element(assigned));

        const std::string written = Narrow(With(doc));
        std::unique_ptr<T> read = ReadOne<T>(written);
        EXPECT_NE(nullptr, read) << written;
        if (read) {
            EXPECT_EQ(expected, Element(*read));
        }
        return read;
    }
};

TEST_F(EventQueryRoundTrip, Requests) {
    const auto vulnAddress = RoundTrip(Filled<CGetVulnerabilitiesByAddressRequest>());
    const auto vulnGroup = RoundTrip(Filled<CGetVulnerabilitiesByGroupRequest>());
    const auto obsAddress = RoundTrip(Filled<CGetObservancesByAddressRequest>());
    const auto obsGroup = RoundTrip(Filled<CGetObservancesByGroupRequest>());
    ASSERT_TRUE(vulnAddress && vulnGroup && obsAddress && obsGroup);
    // The written element holds every field; what it cannot show is a pair swapped both in
    // writing and in reading.
    for (const CEventQueryRequest* read : std::initializer_list<const CEventQueryRequest*>{
             vulnAddress.get(), vulnGroup.get(), obsAddress.get(), obsGroup.get()}) {
        EXPECT_EQ(TRICKY, read->GetStartCursor());
        EXPECT_EQ(L"end " + TRICKY, read->GetEndCursor());
        EXPECT_DOUBLE_EQ(9.5, read->GetStartTime().GetSeconds());
        EXPECT_EQ(-5, read->GetEndTime().GetTimeZoneHours());
    }
    EXPECT_EQ(TRICKY, vulnAddress->GetEndAddress());
    EXPECT_FALSE(obsAddress->GetSourceAnalysis());
    EXPECT_TRUE(obsAddress->GetTargetAnalysis());
    EXPECT_TRUE(obsAddress->GetSensorAnalysis());

    // The defaults of a new request come back as they went.
    CGetObservancesByGroupRequest defaults(REQUEST_ID);
    defaults.SetTypeIdList(L"");
    EXPECT_NE(nullptr, RoundTrip(defaults));
}

TEST_F(EventQueryRoundTrip, Responses) {
    const CGetVulnerabilitiesResponse vulnerabilities = Filled<CGetVulnerabilitiesResponse>();
    const auto read = RoundTrip(vulnerabilities);
    ASSERT_NE(nullptr, read);
    EXPECT_EQ(TRICKY, read->GetStartCursor());
    ASSERT_EQ(2u, read->GetResultItemCount());
    EXPECT_EQ(TRICKY, read->GetResultItem(0).GetResultId());
    EXPECT_EQ(vulnerabilities.GetResultItem(0).GetData(), read->GetResultItem(0).GetData());
    std::unique_ptr<CEventQueryResultItem> itemClone(read->GetResultItem(0).Clone());
    EXPECT_EQ(vulnerabilities.GetResultItem(0).GetData(), itemClone->GetData());
    EXPECT_EQ(0u, read->GetResultItem(1).GetDataCount());

    const auto observances = RoundTrip(Filled<CGetObservancesResponse>());
    ASSERT_NE(nullptr, observances);
    ASSERT_EQ(2u, observances->GetResultItemCount());
    EXPECT_EQ(L"observance-item", observances->GetResultItem(0).GetTagName());
    EXPECT_EQ(TRICKY, *observances->GetResultItem(0).FindDataValue(L"name"));
}

}  // namespace
}  // namespace zav::cml::test
