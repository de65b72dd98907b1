#include "cml/CmlDOM_Element.h"

#include "cml/CmlDOM_NodeList.h"
#include "cml/CmlDOM_Support.h"

namespace zav::cml {

using dom_detail::XStr;
using xercesc::DOMAttr;
using xercesc::DOMElement;
using xercesc::DOMNode;

bool CCmlDOM_Element::Accepts(const DOMNode* node) const {
    return node->getNodeType() == DOMNode::ELEMENT_NODE;
}

const wchar_t* CCmlDOM_Element::getAttribute(const wchar_t* name) const {
    return Result(Held<DOMElement>(__func__)->getAttribute(XStr(name)));
}
const wchar_t* CCmlDOM_Element::getAttributeNS(const wchar_t* namespaceURI,
                                               const wchar_t* localName) const {
    return Result(Held<DOMElement>(__func__)->getAttributeNS(XStr(namespaceURI), XStr(localName)));
}
CCmlDOM_Attr CCmlDOM_Element::getAttributeNode(const wchar_t* name) const {
    return CCmlDOM_Attr(Held<DOMElement>(__func__)->getAttributeNode(XStr(name)));
}
CCmlDOM_Attr CCmlDOM_Element::getAttributeNodeNS(const wchar_t* namespaceURI,
                                                 const wchar_t* localName) const {
    return CCmlDOM_Attr(
        Held<DOMElement>(__func__)->getAttributeNodeNS(XStr(namespaceURI), XStr(localName)));
}
CCmlDOM_NodeList CCmlDOM_Element::getElementsByTagName(const wchar_t* name) const {
    return CCmlDOM_NodeList(Held<DOMElement>(__func__)->getElementsByTagName(XStr(name)));
}
CCmlDOM_NodeList CCmlDOM_Element::getElementsByTagNameNS(const wchar_t* namespaceURI,
                                                         const wchar_t* localName) const {
    return CCmlDOM_NodeList(
        Held<DOMElement>(__func__)->getElementsByTagNameNS(XStr(namespaceURI), XStr(localName)));
}
const wchar_t* CCmlDOM_Element::getTagName() const {
    return Result(Held<DOMElement>(__func__)->getTagName());
}
CCmlDOM_TypeInfo CCmlDOM_Element::getTypeInfo() const {
    return CCmlDOM_TypeInfo(Held<DOMElement>(__func__)->getSchemaTypeInfo());
}
bool CCmlDOM_Element::hasAttribute(const wchar_t* name) const {
    return Held<DOMElement>(__func__)->hasAttribute(XStr(name));
}
bool CCmlDOM_Element::hasAttributeNS(const wchar_t* namespaceURI, const wchar_t* localName) const {
    return Held<DOMElement>(__func__)->hasAttributeNS(XStr(namespaceURI), XStr(localName));
}
void CCmlDOM_Element::removeAttribute(const wchar_t* name) {
    Held<DOMElement>(__func__)->removeAttribute(XStr(name));
}
void CCmlDOM_Element::removeAttributeNS(const wchar_t* namespaceURI, const wchar_t* localName) {
    Held<DOMElement>(__func__)->removeAttributeNS(XStr(namespaceURI), XStr(localName));
}
CCmlDOM_Attr CCmlDOM_Element::removeAttributeNode(const CCmlDOM_Attr& oldAttr) {
    return CCmlDOM_Attr(Held<DOMElement>(__func__)->removeAttributeNode(oldAttr.GetDOMAttr()));
}
void CCmlDOM_Element::setAttribute(const wchar_t* name, const wchar_t* value) {
    Held<DOMElement>(__func__)->setAttribute(XStr(name), XStr(value));
}
void CCmlDOM_Element::setAttributeNS(const wchar_t* namespaceURI, const wchar_t* qualifiedName,
                                     const wchar_t* value) {
    Held<DOMElement>(__func__)->setAttributeNS(XStr(namespaceURI), XStr(qualifiedName),
                                               XStr(value));
}
CCmlDOM_Attr CCmlDOM_Element::setAttributeNode(const CCmlDOM_Attr& newAttr) {
    return CCmlDOM_Attr(Held<DOMElement>(__func__)->setAttributeNode(newAttr.GetDOMAttr()));
}
CCmlDOM_Attr CCmlDOM_Element::setAttributeNodeNS(const CCmlDOM_Attr& newAttr) {
    return CCmlDOM_Attr(Held<DOMElement>(__func__)->setAttributeNodeNS(newAttr.GetDOMAttr()));
}
void CCmlDOM_Element::setIdAttribute(const wchar_t* name, bool isId) {
    Held<DOMElement>(__func__)->setIdAttribute(XStr(name), isId);
}
void CCmlDOM_Element::setIdAttributeNS(const wchar_t* namespaceURI, const wchar_t* localName,
                                       bool isId) {
    Held<DOMElement>(__func__)->setIdAttributeNS(XStr(namespaceURI), XStr(localName), isId);
}
void CCmlDOM_Element::setIdAttributeNode(const CCmlDOM_Attr& idAttr, bool isId) {
    Held<DOMElement>(__func__)->setIdAttributeNode(idAttr.GetDOMAttr(), isId);
}

void CCmlDOM_Element::getAttribute(const wchar_t* name, std::string& out) const {
    out = dom_detail::Narrow(getAttribute(name));
}
void CCmlDOM_Element::getAttribute(const wchar_t* name, std::wstring& out) const {
    const DOMAttr* attribute = Held<DOMElement>(__func__)->getAttributeNode(XStr(name));
    dom_detail::ConvertInto(out, attribute != nullptr ? dom_detail::AttributeValue(attribute)
                                                      : xercesc::XMLUni::fgZeroLenString);
}
void CCmlDOM_Element::getTagName(std::wstring& out) const {
    dom_detail::ConvertInto(out, Held<DOMElement>(__func__)->getTagName());
}
void CCmlDOM_Element::getAttributeNS(const wchar_t* namespaceURI, const wchar_t* localName,
                                     std::string& out) const {
    out = dom_detail::Narrow(getAttributeNS(namespaceURI, localName));
}
ZAV_CML_DOM_NARROW(CCmlDOM_Element, getTagName)

bool CCmlDOM_Attr::Accepts(const DOMNode* node) const {
    return node->getNodeType() == DOMNode::ATTRIBUTE_NODE;
}

const wchar_t* CCmlDOM_Attr::getName() const { return Result(Held<DOMAttr>(__func__)->getName()); }
CCmlDOM_Element CCmlDOM_Attr::getOwnerElement() const {
    return CCmlDOM_Element(Held<DOMAttr>(__func__)->getOwnerElement());
}
bool CCmlDOM_Attr::getSpecified() const { return Held<DOMAttr>(__func__)->getSpecified(); }
CCmlDOM_TypeInfo CCmlDOM_Attr::getTypeInfo() const {
    return CCmlDOM_TypeInfo(Held<DOMAttr>(__func__)->getSchemaTypeInfo());
}
const wchar_t* CCmlDOM_Attr::getValue() const {
    return Result(Held<DOMAttr>(__func__)->getValue());
}
bool CCmlDOM_Attr::isId() const { return Held<DOMAttr>(__func__)->isId(); }
void CCmlDOM_Attr::setValue(const wchar_t* value) {
    Held<DOMAttr>(__func__)->setValue(XStr(value));
}

ZAV_CML_DOM_NARROW(CCmlDOM_Attr, getName)
ZAV_CML_DOM_NARROW(CCmlDOM_Attr, getValue)

}  // namespace zav::cml
