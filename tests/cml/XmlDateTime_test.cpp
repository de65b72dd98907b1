
#include <tuple>
#include <utility>

#include "cml/CmlDOM.h"
#include "cml/CmlTestSupport.h"
#include "cml/XmlDate.h"
#include "cml/XmlDateTime.h"
#include "cml/XmlDuration.h"
#include "cml/XmlTime.h"

using namespace zav::cml;
using namespace zav::cml::XmlUtils;
using zav::cml::test::ExpectCmlError;
using zav::cml::test::NewDocument;

namespace {

// Both stream kinds must write the same characters, and leave the stream's flags as they were.
template <class Value>
std::string Written(const Value& value) {
    std::ostringstream narrow;
    std::wostringstream wide;
    narrow << std::hex << std::left << std::showpos;
    const auto flags = narrow.flags();
    value.Write(narrow);
    EXPECT_EQ(flags, narrow.flags());
    value.Write(wide);
    const std::wstring w = wide.str();
    EXPECT_EQ(std::string(w.begin(), w.end()), narrow.str());
    return narrow.str();
}

// Reads text from an attribute node, copies the value with Assign and writes the copy.
template <class Value>
std::string ReadCopyWrite(const wchar_t* text) {
    CCmlDOM_Document doc(NewDocument(nullptr, u"root"), true);
    CCmlDOM_Element root = doc.getDocumentElement();
    root.setAttribute(L"v", text);
    Value value;
    value.Deserialize(root.getAttributeNode(L"v"));
    Value copy;
    copy.Assign(value);
    return Written(copy);
}

std::wstring Wide(const char* s) { return std::wstring(s, s + std::char_traits<char>::length(s)); }

}  // namespace

// The written text shows every field the reader filled in, the zone's presence included.
TEST(XmlDateTime, ReadsAndWritesTheDateTimeForms) {
    const std::pair<const char*, const char*> cases[] = {
        {"2007-03-05T14:07:09Z", "2007-03-05T14:07:09.000000Z"},
        {"2007-03-05T14:07:09.25-05:30", "2007-03-05T14:07:09.250000-05:30"},
        {"2007-03-05T14:07:09+00:00", "2007-03-05T14:07:09.000000Z"},
        // The sign of a zero hour is lost: -00:30 comes back as +00:30.
        {"2007-03-05T14:07:09-00:30", "2007-03-05T14:07:09.000000+00:30"},
        // Separators are not examined.
        {"2007/03/05 14.07.09", "2007-03-05T14:07:09.000000"},
        {"7-1-2T3:4:5.5+1:0", "0007-01-02T03:04:05.500000+01:00"},
        {"12345-01-02T03:04:59.25", "12345-01-02T03:04:59.250000"},
        {"", "0000-00-00T00:00:00.000000"},
        // A text that ends early has no zone; one that stops being readable gets a zero zone.
        {"2007-03-05", "2007-03-05T00:00:00.000000"},
        {"2007-03-xxT14:07:09", "2007-03-00T00:00:00.000000Z"},
        // No range checks.
        {"2007-13-05T14:75:09", "2007-13-05T14:75:09.000000"},
    };
    // One value for all rows: reading replaces every field.
    CDateTime value;
    for (const auto& [text, written] : cases) {
        value.SetFromText(Wide(text));
        EXPECT_EQ(written, Written(value)) << text;
        EXPECT_EQ(std::string(written).rfind("0000-", 0) == 0, value.IsNull()) << text;
    }
    value.SetFromText(L"2007-03-05T14:07:09.25-05:30");
    EXPECT_EQ(std::make_tuple(2007, 3, 5, 14, 7, 9.25, true, -5, 30),
              std::make_tuple(value.GetYear(), value.GetMonth(), value.GetDay(), value.GetHour(),
                              value.GetMinute(), value.GetSeconds(), value.GetTimeZonePresent(),
                              value.GetTimeZoneHours(), value.GetTimeZoneMinutes()));
    value.SetFromText(nullptr);
    EXPECT_TRUE(value.IsNull());
}

TEST(XmlDateTime, ValuesReadFromNodesAndCopied) {
    const struct {
        std::string (*read)(const wchar_t*);
        const wchar_t* text;
        const char* written;
    } cases[] = {
        {&ReadCopyWrite<CDateTime>, L"2007-03-05T14:07:09.5-05:30",
         "2007-03-05T14:07:09.500000-05:30"},
        {&ReadCopyWrite<CDate>, L"2007-03-05-05:30", "2007-03-05-05:30"},
        {&ReadCopyWrite<CDate>, L"", "0000-00-00"},
        {&ReadCopyWrite<CTime>, L"14:07:09.5-05:30", "14:07:09.500000-05:30"},
        {&ReadCopyWrite<CTime>, L"9:5:59.25", "09:05:59.250000"},
        // Unknown designators are skipped; a missing number ends the reading; fractions of
        // anything but seconds are dropped.
        {&ReadCopyWrite<CDuration>, L"P1Y2M3DT4H5M6.5S", "P1Y2M3DT4H5M6.5S"},
        {&ReadCopyWrite<CDuration>, L"-PT90S", "-P0Y0M0DT0H0M90S"},
        {&ReadCopyWrite<CDuration>, L"PT1.9H2.9M", "P0Y0M0DT1H2M0S"},
        {&ReadCopyWrite<CDuration>, L"P5X3DT7Q1S", "P0Y0M3DT0H0M1S"},
        {&ReadCopyWrite<CDuration>, L"P1YxT2H", "P1Y0M0DT0H0M0S"},
        {&ReadCopyWrite<CDuration>, L"", "P0Y0M0DT0H0M0S"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.written, c.read(c.text)) << c.written;
}

TEST(XmlDateTime, NullNodesAreRejectedWithTheirClassContext) {
    const CCmlDOM_Node null;
    const auto expectNull = [](auto&& deserialize, const wchar_t* context) {
        ExpectCmlError(deserialize, context, L"Null element received", 0xC738000Fu);
    };
    expectNull([&] { CDateTime().Deserialize(null); }, L"Processing dateTime value");
    expectNull([&] { CDate().Deserialize(null); }, L"Processing date value");
    expectNull([&] { CTime().Deserialize(null); }, L"Processing time value");
    expectNull([&] { CDuration().Deserialize(null); }, L"Processing duration value");
}
