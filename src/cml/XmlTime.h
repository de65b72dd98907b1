// An XML Schema time value held as numbers: written in one fixed form, read leniently.
#pragma once

#include <cstdint>
#include <ostream>

#include "cml/XmlValueText.h"

namespace zav::cml::XmlUtils {

class CTime {
public:
    CTime() = default;
    CTime(const CTime&) = default;
    CTime& operator=(const CTime&) = default;

    virtual void Assign(const CTime& other);
    virtual ~CTime();
    // Reads the node value as a time text; a null node raises CCmlException.
    virtual void Deserialize(const CCmlDOM_Node& node);
    // hh:mm:ss.ssssss and the zone; the stream's format flags are put back afterwards.
    virtual void Write(std::wostream& os) const;
    virtual void Write(std::ostream& os) const;

    // A negative hour marks a value that was never set.
    virtual bool IsNull() const;
    virtual int32_t GetHour() const;
    virtual int32_t GetMinute() const;
    virtual double GetSeconds() const;
    virtual bool GetTimeZonePresent() const;
    virtual int32_t GetTimeZoneHours() const;
    virtual int32_t GetTimeZoneMinutes() const;
    virtual void SetHour(int32_t hour);
    virtual void SetMinute(int32_t minute);
    virtual void SetSeconds(double seconds);
    virtual void SetTimeZonePresent(bool present);
    virtual void SetTimeZoneHours(int32_t hours);
    virtual void SetTimeZoneMinutes(int32_t minutes);
    virtual void Clear();

private:
    static constexpr int32_t kNullHour = -1;

    STimeOfDayFields m_time{kNullHour};
    STimeZoneFields m_zone;
};

}  // namespace zav::cml::XmlUtils
