// An XML Schema duration value held as numbers: written with every component, read leniently.
#pragma once

#include <cstdint>
#include <ostream>

namespace zav::cml {
class CCmlDOM_Node;
}

namespace zav::cml::XmlUtils {

class CDuration {
public:
    CDuration() = default;
    CDuration(const CDuration&) = default;
    CDuration& operator=(const CDuration&) = default;

    virtual void Assign(const CDuration& other);
    virtual ~CDuration();
    // Reads the node value as a duration text; a null node raises CCmlException. Reading starts
    // from the cleared value and does not touch the null flag, so it stays set.
    virtual void Deserialize(const CCmlDOM_Node& node);
    // [-]PnYnMnDTnHnMnS with every component, zeros included.
    virtual void Write(std::wostream& os) const;
    virtual void Write(std::ostream& os) const;

    virtual bool IsNull() const;
    virtual bool IsNegative() const;
    virtual int32_t GetYears() const;
    virtual int32_t GetMonths() const;
    virtual int32_t GetDays() const;
    virtual int32_t GetHours() const;
    virtual int32_t GetMinutes() const;
    virtual double GetSeconds() const;
    virtual void SetNull(bool null);
    virtual void SetNegative(bool negative);
    virtual void SetYears(int32_t years);
    virtual void SetMonths(int32_t months);
    virtual void SetDays(int32_t days);
    virtual void SetHours(int32_t hours);
    virtual void SetMinutes(int32_t minutes);
    virtual void SetSeconds(double seconds);
    virtual void Clear();

private:
    bool m_bNull = true;
    bool m_bNegative = false;
    int32_t m_iYears = 0;
    int32_t m_iMonths = 0;
    int32_t m_iDays = 0;
    int32_t m_iHours = 0;
    int32_t m_iMinutes = 0;
    double m_dSeconds = 0.0;
};

}  // namespace zav::cml::XmlUtils
