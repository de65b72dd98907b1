#include "cml/CmlDOM_NodeList.h"

#include "cml/CmlDOM_Support.h"

namespace zav::cml {

using dom_detail::XStr;

xercesc::DOMNodeList* CCmlDOM_NodeList::Held(const char* op) const {
    if (m_pList == nullptr) dom_detail::ThrowNull("CCmlDOM_NodeList", op, L"The node list is NULL");
    return m_pList;
}
std::size_t CCmlDOM_NodeList::getLength() const { return Held(__func__)->getLength(); }
CCmlDOM_Node CCmlDOM_NodeList::item(std::size_t index) const {
    return CCmlDOM_Node(Held(__func__)->item(index));
}

xercesc::DOMNamedNodeMap* CCmlDOM_NamedNodeMap::Held(const char* op, const wchar_t* name) const {
    if (m_pMap == nullptr)
        dom_detail::ThrowNull("CCmlDOM_NamedNodeMap", op, L"The node map is NULL");
    if (name == nullptr) dom_detail::ThrowNullArgument("CCmlDOM_NamedNodeMap", op);
    return m_pMap;
}
std::size_t CCmlDOM_NamedNodeMap::getLength() const { return Held(__func__)->getLength(); }
CCmlDOM_Node CCmlDOM_NamedNodeMap::getNamedItem(const wchar_t* name) const {
    return CCmlDOM_Node(Held(__func__, name)->getNamedItem(XStr(name)));
}
CCmlDOM_Node CCmlDOM_NamedNodeMap::getNamedItemNS(const wchar_t* namespaceURI,
                                                  const wchar_t* localName) const {
    return CCmlDOM_Node(
        Held(__func__, localName)->getNamedItemNS(XStr(namespaceURI), XStr(localName)));
}
CCmlDOM_Node CCmlDOM_NamedNodeMap::item(std::size_t index) const {
    return CCmlDOM_Node(Held(__func__)->item(index));
}
CCmlDOM_Node CCmlDOM_NamedNodeMap::removeNamedItem(const wchar_t* name) {
    return CCmlDOM_Node(Held(__func__, name)->removeNamedItem(XStr(name)));
}
CCmlDOM_Node CCmlDOM_NamedNodeMap::removeNamedItemNS(const wchar_t* namespaceURI,
                                                     const wchar_t* localName) {
    return CCmlDOM_Node(
        Held(__func__, localName)->removeNamedItemNS(XStr(namespaceURI), XStr(localName)));
}
CCmlDOM_Node CCmlDOM_NamedNodeMap::setNamedItem(const CCmlDOM_Node& node) {
    return CCmlDOM_Node(Held(__func__)->setNamedItem(node.GetDOMNode()));
}
CCmlDOM_Node CCmlDOM_NamedNodeMap::setNamedItemNS(const CCmlDOM_Node& node) {
    return CCmlDOM_Node(Held(__func__)->setNamedItemNS(node.GetDOMNode()));
}

const xercesc::DOMTypeInfo* CCmlDOM_TypeInfo::Held(const char* op) const {
    if (m_pInfo == nullptr) dom_detail::ThrowNull("CCmlDOM_TypeInfo", op, L"The node is NULL");
    return m_pInfo;
}
const wchar_t* CCmlDOM_TypeInfo::getName() const {
    return dom_detail::StoreResult(m_strResult, Held(__func__)->getTypeName());
}
const wchar_t* CCmlDOM_TypeInfo::getNamespace() const {
    return dom_detail::StoreResult(m_strResult, Held(__func__)->getTypeNamespace());
}
ZAV_CML_DOM_NARROW(CCmlDOM_TypeInfo, getName)
ZAV_CML_DOM_NARROW(CCmlDOM_TypeInfo, getNamespace)

}  // namespace zav::cml
