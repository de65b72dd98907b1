#include "cml/EventQueryMessages/GetObservancesRequest.h"

#include <xercesc/dom/DOMException.hpp>

#include <utility>

#include "cml/CmlDOM_Element.h"
#include "cml/CmlDOM_Exception.h"
#include "cml/CmlException.h"
#include "cml/CmlTagNames.h"
#include "cml/CmlWriter.h"
#include "cml/EventQueryMessages/EventQueryMessages.h"

namespace zav::cml {

using EventQueryMessages::Attribute;
using EventQueryMessages::FlagText;
using EventQueryMessages::ForEachChild;
using EventQueryMessages::Text;

namespace {

// A flag that is on by default turns off only for the exact text "false", one that is off by
// default turns on only for the exact text "true": an unexpected word gives the default.
bool IsNotFalse(const CCmlDOM_Element& element, const wchar_t* name) {
    return Attribute(element, name) != CML_TAG_FALSE;
}
bool IsTrue(const CCmlDOM_Element& element, const wchar_t* name) {
    return Attribute(element, name) == CML_TAG_TRUE;
}

}  // namespace

CGetObservancesRequest::CGetObservancesRequest(std::wstring tagName, const std::wstring& requestId)
    : CEventQueryRequest(std::move(tagName), requestId) {}

CGetObservancesRequest::~CGetObservancesRequest() = default;

CCmlDocumentBase* CGetObservancesRequest::Clone() const {
    return new CGetObservancesRequest(*this);
}

void CGetObservancesRequest::Assign(const CGetObservancesRequest& other) {
    if (&other == this) return;
    CEventQueryRequest::Assign(other);
    SetSourceAnalysis(other.GetSourceAnalysis());
    SetTargetAnalysis(other.GetTargetAnalysis());
    SetSensorAnalysis(other.GetSensorAnalysis());
    SetTypeIdList(other.GetTypeIdList());
    SetExclude(other.GetExclude());
}

void CGetObservancesRequest::SetTypeIdList(const wchar_t* typeIdList) {
    m_strTypeIdList = Text(typeIdList);
}

uint32_t CGetObservancesRequest::GetChildElementCount() const {
    return CEventQueryRequest::GetChildElementCount() + 2;
}

void CGetObservancesRequest::Deserialize(const CCmlDOM_Element& element) {
    if (element.IsNull()) {
        throw CCmlException(L"Deserializing EventQueryMessages observances request node",
                            L"Null element received", CML_E_NULL_ELEMENT);
    }
    CEventQueryRequest::Deserialize(element);
    try {
        ForEachChild(element, CML_TAG_ANALYSIS_TYPE, [this](const CCmlDOM_Element& type) {
            if (type.hasAttribute(CML_TAG_SOURCE_ANALYSIS)) {
                SetSourceAnalysis(IsNotFalse(type, CML_TAG_SOURCE_ANALYSIS));
            }
            if (type.hasAttribute(CML_TAG_TARGET_ANALYSIS)) {
                SetTargetAnalysis(IsNotFalse(type, CML_TAG_TARGET_ANALYSIS));
            }
            if (type.hasAttribute(CML_TAG_SENSOR_ANALYSIS)) {
                SetSensorAnalysis(IsTrue(type, CML_TAG_SENSOR_ANALYSIS));
            }
        });
        ForEachChild(element, CML_TAG_OBSERVANCE_TYPE, [this](const CCmlDOM_Element& type) {
            if (type.hasAttribute(CML_TAG_TYPE_ID_LIST)) {
                SetTypeIdList(Attribute(type, CML_TAG_TYPE_ID_LIST));
            }
            if (type.hasAttribute(CML_TAG_EXCLUDE)) SetExclude(IsNotFalse(type, CML_TAG_EXCLUDE));
        });
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(
            L"Parsing EventQueryMessages observances request element");
    }
}

template <class Stream>
int CGetObservancesRequest::WriteContent(Stream& os, uint32_t level) const {
    const int written = CEventQueryRequest::SerializeContent(os, level);
    WriteStartTagOpen(os, level, CML_TAG_ANALYSIS_TYPE);
    WriteAttribute(os, CML_TAG_SOURCE_ANALYSIS, FlagText(GetSourceAnalysis()));
    WriteAttribute(os, CML_TAG_TARGET_ANALYSIS, FlagText(GetTargetAnalysis()));
    WriteAttribute(os, CML_TAG_SENSOR_ANALYSIS, FlagText(GetSensorAnalysis()));
    WriteText(os, L"/>");
    WriteLineEnd(os);
    WriteStartTagOpen(os, level, CML_TAG_OBSERVANCE_TYPE);
    WriteEscapedAttribute(os, CML_TAG_TYPE_ID_LIST, GetTypeIdList());
    WriteAttribute(os, CML_TAG_EXCLUDE, FlagText(GetExclude()));
    WriteText(os, L"/>");
    WriteLineEnd(os);
    return written + 2;
}

int CGetObservancesRequest::SerializeContent(std::wostream& os, uint32_t level) const {
    return WriteContent(os, level);
}
int CGetObservancesRequest::SerializeContent(std::ostream& os, uint32_t level) const {
    return WriteContent(os, level);
}

}  // namespace zav::cml
