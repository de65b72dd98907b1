// An XML Schema date value held as numbers: written in one fixed form, read leniently.
#pragma once

#include <cstdint>
#include <ostream>

#include "cml/XmlValueText.h"

namespace zav::cml::XmlUtils {

class CDate {
public:
    CDate() = default;
    CDate(const CDate&) = default;
    CDate& operator=(const CDate&) = default;

    virtual void Assign(const CDate& other);
    virtual ~CDate();
    // Reads the node value as a date text; a null node raises CCmlException.
    virtual void Deserialize(const CCmlDOM_Node& node);
    // yyyy-mm-dd and the zone; the stream's format flags are put back afterwards.
    virtual void Write(std::wostream& os) const;
    virtual void Write(std::ostream& os) const;

    // A year of 0 marks a value that was never set.
    virtual bool IsNull() const;
    virtual int32_t GetYear() const;
    virtual int32_t GetMonth() const;
    virtual int32_t GetDay() const;
    virtual bool GetTimeZonePresent() const;
    virtual int32_t GetTimeZoneHours() const;
    virtual int32_t GetTimeZoneMinutes() const;
    virtual void SetYear(int32_t year);
    virtual void SetMonth(int32_t month);
    virtual void SetDay(int32_t day);
    virtual void SetTimeZonePresent(bool present);
    virtual void SetTimeZoneHours(int32_t hours);
    virtual void SetTimeZoneMinutes(int32_t minutes);
    virtual void Clear();

private:
    SDateFields m_date;
    STimeZoneFields m_zone;
};

}  // namespace zav::cml::XmlUtils
