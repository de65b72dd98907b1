// CGroupId: the group-id attribute of the by-group requests.
#pragma once

#include <ostream>
#include <string>

#include "cml/CmlDOM_Element.h"

namespace zav::cml::EventQueryMessages {

class CGroupId {
public:
    const std::wstring& Get() const { return m_strGroupId; }
    // A null pointer sets an empty text.
    void Set(const wchar_t* groupId);

    // The request element's group-id (empty when absent).
    void Read(const CCmlDOM_Element& request);
    // group-id='G' when not empty.
    void Write(std::wostream& os) const;
    void Write(std::ostream& os) const;

private:
    std::wstring m_strGroupId;
};

}  // namespace zav::cml::EventQueryMessages
