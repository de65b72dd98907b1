#include "cml/CmlDOM_Misc.h"

#include "cml/CmlDOM_Support.h"

namespace zav::cml {

using dom_detail::XStr;
using xercesc::DOMEntity;
using xercesc::DOMNode;
using xercesc::DOMNotation;
using xercesc::DOMProcessingInstruction;

bool CCmlDOM_Entity::Accepts(const DOMNode* node) const {
    return node->getNodeType() == DOMNode::ENTITY_NODE;
}
const wchar_t* CCmlDOM_Entity::getActualEncoding() const {
    return Result(Held<DOMEntity>(__func__)->getInputEncoding());
}
const wchar_t* CCmlDOM_Entity::getEncoding() const {
    return Result(Held<DOMEntity>(__func__)->getXmlEncoding());
}
const wchar_t* CCmlDOM_Entity::getNotationName() const {
    return Result(Held<DOMEntity>(__func__)->getNotationName());
}
const wchar_t* CCmlDOM_Entity::getPublicId() const {
    return Result(Held<DOMEntity>(__func__)->getPublicId());
}
const wchar_t* CCmlDOM_Entity::getSystemId() const {
    return Result(Held<DOMEntity>(__func__)->getSystemId());
}
const wchar_t* CCmlDOM_Entity::getVersion() const {
    return Result(Held<DOMEntity>(__func__)->getXmlVersion());
}
void CCmlDOM_Entity::setActualEncoding(const wchar_t*) {
    Held<DOMEntity>(__func__);
    dom_detail::ThrowNotSupported(ClassName(), __func__);
}
void CCmlDOM_Entity::setEncoding(const wchar_t*) {
    Held<DOMEntity>(__func__);
    dom_detail::ThrowNotSupported(ClassName(), __func__);
}
void CCmlDOM_Entity::setVersion(const wchar_t*) {
    Held<DOMEntity>(__func__);
    dom_detail::ThrowNotSupported(ClassName(), __func__);
}
ZAV_CML_DOM_NARROW(CCmlDOM_Entity, getActualEncoding)
ZAV_CML_DOM_NARROW(CCmlDOM_Entity, getEncoding)
ZAV_CML_DOM_NARROW(CCmlDOM_Entity, getNotationName)
ZAV_CML_DOM_NARROW(CCmlDOM_Entity, getPublicId)
ZAV_CML_DOM_NARROW(CCmlDOM_Entity, getSystemId)
ZAV_CML_DOM_NARROW(CCmlDOM_Entity, getVersion)

bool CCmlDOM_EntityReference::Accepts(const DOMNode* node) const {
    return node->getNodeType() == DOMNode::ENTITY_REFERENCE_NODE;
}

bool CCmlDOM_Notation::Accepts(const DOMNode* node) const {
    return node->getNodeType() == DOMNode::NOTATION_NODE;
}
const wchar_t* CCmlDOM_Notation::getPublicId() const {
    return Result(Held<DOMNotation>(__func__)->getPublicId());
}
const wchar_t* CCmlDOM_Notation::getSystemId() const {
    return Result(Held<DOMNotation>(__func__)->getSystemId());
}
ZAV_CML_DOM_NARROW(CCmlDOM_Notation, getPublicId)
ZAV_CML_DOM_NARROW(CCmlDOM_Notation, getSystemId)

bool CCmlDOM_ProcessingInstruction::Accepts(const DOMNode* node) const {
    return node->getNodeType() == DOMNode::PROCESSING_INSTRUCTION_NODE;
}
const wchar_t* CCmlDOM_ProcessingInstruction::getData() const {
    return Result(Held<DOMProcessingInstruction>(__func__)->getData());
}
const wchar_t* CCmlDOM_ProcessingInstruction::getTarget() const {
    return Result(Held<DOMProcessingInstruction>(__func__)->getTarget());
}
void CCmlDOM_ProcessingInstruction::setData(const wchar_t* data) {
    Held<DOMProcessingInstruction>(__func__)->setData(XStr(data));
}
ZAV_CML_DOM_NARROW(CCmlDOM_ProcessingInstruction, getData)
ZAV_CML_DOM_NARROW(CCmlDOM_ProcessingInstruction, getTarget)

}  // namespace zav::cml
