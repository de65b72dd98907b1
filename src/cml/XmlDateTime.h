// An XML Schema dateTime value held as numbers: written in one fixed form, read leniently.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "cml/XmlValueText.h"

namespace zav::cml::XmlUtils {

class CDateTime {
public:
    CDateTime() = default;
    CDateTime(const CDateTime&) = default;
    CDateTime& operator=(const CDateTime&) = default;

    virtual void Assign(const CDateTime& other);
    virtual ~CDateTime();
    // Reads the node value as a dateTime text; a null node raises CCmlException.
    virtual void Deserialize(const CCmlDOM_Node& node);
    // yyyy-mm-ddThh:mm:ss.ssssss and the zone; the stream's format flags are put back afterwards.
    virtual void Write(std::wostream& os) const;
    virtual void Write(std::ostream& os) const;

    // A year of 0 marks a value that was never set.
    virtual bool IsNull() const;
    virtual int32_t GetYear() const;
    virtual int32_t GetMonth() const;
    virtual int32_t GetDay() const;
    virtual int32_t GetHour() const;
    virtual int32_t GetMinute() const;
    virtual double GetSeconds() const;
    virtual bool GetTimeZonePresent() const;
    virtual int32_t GetTimeZoneHours() const;
    virtual int32_t GetTimeZoneMinutes() const;
    virtual void SetYear(int32_t year);
    virtual void SetMonth(int32_t month);
    virtual void SetDay(int32_t day);
    virtual void SetHour(int32_t hour);
    virtual void SetMinute(int32_t minute);
    virtual void SetSeconds(double seconds);
    virtual void SetTimeZonePresent(bool present);
    // Offset hours carry the sign; -05:30 is hours -5 and minutes 30.
    virtual void SetTimeZoneHours(int32_t hours);
    virtual void SetTimeZoneMinutes(int32_t minutes);
    virtual void Clear();
    // Clears, then reads as much of the text as can be read. Never fails; null reads as empty.
    virtual void SetFromText(const wchar_t* text);

    void SetFromText(const std::wstring& text) { SetFromText(text.c_str()); }

private:
    SDateFields m_date;
    STimeOfDayFields m_time;
    STimeZoneFields m_zone;
};

}  // namespace zav::cml::XmlUtils
