#include "cml/EventQueryMessages/GroupId.h"

#include "cml/CmlTagNames.h"
#include "cml/CmlWriter.h"
#include "cml/EventQueryMessages/EventQueryMessages.h"

namespace zav::cml::EventQueryMessages {

void CGroupId::Set(const wchar_t* groupId) { m_strGroupId = Text(groupId); }

void CGroupId::Read(const CCmlDOM_Element& request) {
    m_strGroupId = Attribute(request, CML_TAG_GROUP_ID);
}

void CGroupId::Write(std::wostream& os) const {
    if (!m_strGroupId.empty()) WriteEscapedAttribute(os, CML_TAG_GROUP_ID, m_strGroupId);
}
void CGroupId::Write(std::ostream& os) const {
    if (!m_strGroupId.empty()) WriteEscapedAttribute(os, CML_TAG_GROUP_ID, m_strGroupId);
}

}  // namespace zav::cml::EventQueryMessages
