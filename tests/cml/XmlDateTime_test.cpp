#include <gtest/gtest.h>

#include <sstream>
#include <string>

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

// A one-element document whose attribute "v" carries the text under test.
class CAttributeHolder {
public:
    CAttributeHolder() : m_doc(NewDocument(nullptr, u"root"), true) {}

    CCmlDOM_Attr Attribute(const std::wstring& text) {
        CCmlDOM_Element root = m_doc.getDocumentElement();
        root.setAttribute(L"v", text.c_str());
        return root.getAttributeNode(L"v");
    }

private:
    CCmlDOM_Document m_doc;
};

// Both stream kinds must write the same characters.
template <class Value>
std::string Written(const Value& value) {
    std::ostringstream narrow;
    std::wostringstream wide;
    value.Write(narrow);
    value.Write(wide);
    const std::wstring w = wide.str();
    EXPECT_EQ(std::string(w.begin(), w.end()), narrow.str());
    return narrow.str();
}

std::wstring Wide(const char* s) { return std::wstring(s, s + std::char_traits<char>::length(s)); }

struct DateTimeCase {
    const char* text;
    int32_t year, month, day, hour, minute;
    double seconds;
    bool tz;
    int32_t tzHours, tzMinutes;
    const char* written;
};

const DateTimeCase kDateTimeCases[] = {
    {"2007-03-05T14:07:09Z", 2007, 3, 5, 14, 7, 9.0, true, 0, 0, "2007-03-05T14:07:09.000000Z"},
    {"2007-03-05T14:07:09.25-05:30", 2007, 3, 5, 14, 7, 9.25, true, -5, 30,
     "2007-03-05T14:07:09.250000-05:30"},
    {"2007-03-05T14:07:09+00:00", 2007, 3, 5, 14, 7, 9.0, true, 0, 0,
     "2007-03-05T14:07:09.000000Z"},
    // The sign of a zero hour is lost: -00:30 comes back as +00:30.
    {"2007-03-05T14:07:09-00:30", 2007, 3, 5, 14, 7, 9.0, true, 0, 30,
     "2007-03-05T14:07:09.000000+00:30"},
    // Separators are not examined.
    {"2007/03/05 14.07.09", 2007, 3, 5, 14, 7, 9.0, false, 0, 0, "2007-03-05T14:07:09.000000"},
    {"7-1-2T3:4:5.5+1:0", 7, 1, 2, 3, 4, 5.5, true, 1, 0, "0007-01-02T03:04:05.500000+01:00"},
    {"12345-01-02T03:04:59.25", 12345, 1, 2, 3, 4, 59.25, false, 0, 0,
     "12345-01-02T03:04:59.250000"},
    {"", 0, 0, 0, 0, 0, 0.0, false, 0, 0, "0000-00-00T00:00:00.000000"},
    // A text that ends early has no zone; one that stops being readable gets a zero zone.
    {"2007-03-05", 2007, 3, 5, 0, 0, 0.0, false, 0, 0, "2007-03-05T00:00:00.000000"},
    {"2007-03-xxT14:07:09", 2007, 3, 0, 0, 0, 0.0, true, 0, 0, "2007-03-00T00:00:00.000000Z"},
    // No range checks.
    {"2007-13-05T14:75:09", 2007, 13, 5, 14, 75, 9.0, false, 0, 0, "2007-13-05T14:75:09.000000"},
};

}  // namespace

TEST(XmlDateTime, ReadsAndWritesTheDateTimeForms) {
    for (const DateTimeCase& c : kDateTimeCases) {
        SCOPED_TRACE(c.text);
        CDateTime value;
        value.SetFromText(Wide(c.text));
        EXPECT_EQ(c.year, value.GetYear());
        EXPECT_EQ(c.month, value.GetMonth());
        EXPECT_EQ(c.day, value.GetDay());
        EXPECT_EQ(c.hour, value.GetHour());
        EXPECT_EQ(c.minute, value.GetMinute());
        EXPECT_DOUBLE_EQ(c.seconds, value.GetSeconds());
        EXPECT_EQ(c.tz, value.GetTimeZonePresent());
        EXPECT_EQ(c.tzHours, value.GetTimeZoneHours());
        EXPECT_EQ(c.tzMinutes, value.GetTimeZoneMinutes());
        EXPECT_EQ(c.year == 0, value.IsNull());
        EXPECT_EQ(c.written, Written(value));
    }
}

TEST(XmlDateTime, SetFromTextReplacesThePreviousValue) {
    CDateTime value;
    value.SetFromText(L"2007-03-05T14:07:09.5+01:00");
    value.SetFromText(L"2008-01-01");
    EXPECT_EQ("2008-01-01T00:00:00.000000", Written(value));
    value.SetFromText(nullptr);
    EXPECT_TRUE(value.IsNull());
}

TEST(XmlDateTime, WriteRestoresTheStreamFlags) {
    CDateTime value;
    value.SetFromText(L"2007-03-05T14:07:09.5+01:00");
    std::ostringstream os;
    os << std::hex << std::left << std::showpos;
    const auto flags = os.flags();
    value.Write(os);
    EXPECT_EQ(flags, os.flags());
    EXPECT_EQ('0', os.fill());
    EXPECT_EQ("2007-03-05T14:07:09.500000+01:00", os.str());

    // The seconds follow the stream's precision.
    std::ostringstream precise;
    precise.precision(2);
    value.Write(precise);
    EXPECT_EQ("2007-03-05T14:07:000009.50+01:00", precise.str());
}

TEST(XmlDateTime, DateAndTimeReadTheirFormsFromNodes) {
    CAttributeHolder holder;
    struct {
        const char* text;
        const char* written;
        bool null;
    } dates[] = {
        {"2007-03-05Z", "2007-03-05Z", false},
        {"2007-03-05-05:30", "2007-03-05-05:30", false},
        {"2007.3.5", "2007-03-05", false},
        {"", "0000-00-00", true},
    };
    for (const auto& c : dates) {
        SCOPED_TRACE(c.text);
        CDate date;
        date.Deserialize(holder.Attribute(Wide(c.text)));
        EXPECT_EQ(c.written, Written(date));
        EXPECT_EQ(c.null, date.IsNull());
    }

    struct {
        const char* text;
        const char* written;
    } times[] = {
        {"14:07:09.5-05:30", "14:07:09.500000-05:30"},
        {"00:00:00Z", "00:00:00.000000Z"},
        {"9:5:59.25", "09:05:59.250000"},
    };
    for (const auto& c : times) {
        SCOPED_TRACE(c.text);
        CTime time;
        time.Deserialize(holder.Attribute(Wide(c.text)));
        EXPECT_EQ(c.written, Written(time));
        EXPECT_FALSE(time.IsNull());
    }

    CTime time;
    EXPECT_TRUE(time.IsNull());
    time.Deserialize(holder.Attribute(L""));
    EXPECT_TRUE(time.IsNull());
    time.SetHour(0);
    EXPECT_FALSE(time.IsNull());
}

TEST(XmlDateTime, DurationReadsItsDesignators) {
    CAttributeHolder holder;
    struct {
        const char* text;
        bool negative;
        int32_t years, months, days, hours, minutes;
        double seconds;
        const char* written;
    } cases[] = {
        {"P1Y2M3DT4H5M6.5S", false, 1, 2, 3, 4, 5, 6.5, "P1Y2M3DT4H5M6.5S"},
        {"-PT90S", true, 0, 0, 0, 0, 0, 90, "-P0Y0M0DT0H0M90S"},
        {"P1.9D", false, 0, 0, 1, 0, 0, 0, "P0Y0M1DT0H0M0S"},
        {"PT1.9H2.9M", false, 0, 0, 0, 1, 2, 0, "P0Y0M0DT1H2M0S"},
        // Unknown designators are skipped; a missing number ends the reading.
        {"P5X3DT7Q1S", false, 0, 0, 3, 0, 0, 1, "P0Y0M3DT0H0M1S"},
        {"P1YxT2H", false, 1, 0, 0, 0, 0, 0, "P1Y0M0DT0H0M0S"},
        {"", false, 0, 0, 0, 0, 0, 0, "P0Y0M0DT0H0M0S"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        CDuration duration;
        duration.Deserialize(holder.Attribute(Wide(c.text)));
        EXPECT_EQ(c.negative, duration.IsNegative());
        EXPECT_EQ(c.years, duration.GetYears());
        EXPECT_EQ(c.months, duration.GetMonths());
        EXPECT_EQ(c.days, duration.GetDays());
        EXPECT_EQ(c.hours, duration.GetHours());
        EXPECT_EQ(c.minutes, duration.GetMinutes());
        EXPECT_DOUBLE_EQ(c.seconds, duration.GetSeconds());
        EXPECT_EQ(c.written, Written(duration));
    }
}

TEST(XmlDateTime, NullNodesAreRejectedWithTheirClassContext) {
    const CCmlDOM_Node null;
    auto expectNull = [](auto&& deserialize, const wchar_t* context) {
        ExpectCmlError(deserialize, context, L"Null element received", 0xC738000Fu);
    };
    CDateTime dateTime;
    CDate date;
    CTime time;
    CDuration duration;
    expectNull([&] { dateTime.Deserialize(null); }, L"Processing dateTime value");
    expectNull([&] { date.Deserialize(null); }, L"Processing date value");
    expectNull([&] { time.Deserialize(null); }, L"Processing time value");
    expectNull([&] { duration.Deserialize(null); }, L"Processing duration value");
}

TEST(XmlDateTime, AssignCopiesEveryField) {
    CDateTime dateTime;
    dateTime.SetFromText(L"2007-03-05T14:07:09.5-05:30");
    CDateTime dateTimeCopy;
    dateTimeCopy.Assign(dateTime);
    EXPECT_EQ(Written(dateTime), Written(dateTimeCopy));

    CAttributeHolder holder;
    CDate date;
    date.Deserialize(holder.Attribute(L"2007-03-05+02:15"));
    CDate dateCopy;
    dateCopy.Assign(date);
    EXPECT_EQ(Written(date), Written(dateCopy));

    CTime time;
    time.Deserialize(holder.Attribute(L"14:07:09.5-05:30"));
    CTime timeCopy;
    timeCopy.Assign(time);
    EXPECT_EQ(Written(time), Written(timeCopy));

    CDuration duration;
    duration.Deserialize(holder.Attribute(L"-P1Y2M3DT4H5M6.5S"));
    duration.SetNull(false);
    CDuration durationCopy;
    durationCopy.Assign(duration);
    EXPECT_EQ(Written(duration), Written(durationCopy));
    EXPECT_FALSE(durationCopy.IsNull());
}
