#include "cml/CmlDOM_Document.h"

#include "cml/CmlDOM_CharacterData.h"
#include "cml/CmlDOM_Element.h"
#include "cml/CmlDOM_Misc.h"
#include "cml/CmlDOM_NodeList.h"
#include "cml/CmlDOM_Support.h"

namespace zav::cml {

using dom_detail::XStr;
using xercesc::DOMDocument;
using xercesc::DOMDocumentType;
using xercesc::DOMNode;

bool CCmlDOM_Document::Accepts(const DOMNode* node) const {
    return node->getNodeType() == DOMNode::DOCUMENT_NODE;
}

CCmlDOM_Node CCmlDOM_Document::adoptNode(const CCmlDOM_Node& source) {
    return CCmlDOM_Node(Held<DOMDocument>(__func__)->adoptNode(source.GetDOMNode()));
}
CCmlDOM_Attr CCmlDOM_Document::createAttribute(const wchar_t* name) {
    return CCmlDOM_Attr(Held<DOMDocument>(__func__)->createAttribute(XStr(name)));
}
CCmlDOM_Attr CCmlDOM_Document::createAttributeNS(const wchar_t* namespaceURI,
                                                 const wchar_t* qualifiedName) {
    return CCmlDOM_Attr(
        Held<DOMDocument>(__func__)->createAttributeNS(XStr(namespaceURI), XStr(qualifiedName)));
}
CCmlDOM_CDATASection CCmlDOM_Document::createCDATASection(const wchar_t* data) {
    return CCmlDOM_CDATASection(Held<DOMDocument>(__func__)->createCDATASection(XStr(data)));
}
CCmlDOM_Comment CCmlDOM_Document::createComment(const wchar_t* data) {
    return CCmlDOM_Comment(Held<DOMDocument>(__func__)->createComment(XStr(data)));
}
CCmlDOM_DocumentFragment CCmlDOM_Document::createDocumentFragment() {
    return CCmlDOM_DocumentFragment(Held<DOMDocument>(__func__)->createDocumentFragment());
}
CCmlDOM_DocumentType CCmlDOM_Document::createDocumentType(const wchar_t* name) {
    return CCmlDOM_DocumentType(Held<DOMDocument>(__func__)->createDocumentType(XStr(name)));
}
CCmlDOM_DocumentType CCmlDOM_Document::createDocumentType(const wchar_t* qualifiedName,
                                                          const wchar_t* publicId,
                                                          const wchar_t* systemId) {
    return CCmlDOM_DocumentType(Held<DOMDocument>(__func__)->createDocumentType(
        XStr(qualifiedName), XStr(publicId), XStr(systemId)));
}
CCmlDOM_Element CCmlDOM_Document::createElement(const wchar_t* tagName) {
    return CCmlDOM_Element(Held<DOMDocument>(__func__)->createElement(XStr(tagName)));
}
CCmlDOM_Element CCmlDOM_Document::createElementNS(const wchar_t* namespaceURI,
                                                  const wchar_t* qualifiedName) {
    return CCmlDOM_Element(
        Held<DOMDocument>(__func__)->createElementNS(XStr(namespaceURI), XStr(qualifiedName)));
}
CCmlDOM_Element CCmlDOM_Document::createElementNS(const wchar_t* namespaceURI,
                                                  const wchar_t* qualifiedName, uint64_t lineNum,
                                                  uint64_t columnNum) {
    return CCmlDOM_Element(Held<DOMDocument>(__func__)->createElementNS(
        XStr(namespaceURI), XStr(qualifiedName), lineNum, columnNum));
}
CCmlDOM_Entity CCmlDOM_Document::createEntity(const wchar_t* name) {
    return CCmlDOM_Entity(Held<DOMDocument>(__func__)->createEntity(XStr(name)));
}
CCmlDOM_EntityReference CCmlDOM_Document::createEntityReference(const wchar_t* name) {
    return CCmlDOM_EntityReference(Held<DOMDocument>(__func__)->createEntityReference(XStr(name)));
}
CCmlDOM_Notation CCmlDOM_Document::createNotation(const wchar_t* name) {
    return CCmlDOM_Notation(Held<DOMDocument>(__func__)->createNotation(XStr(name)));
}
CCmlDOM_ProcessingInstruction CCmlDOM_Document::createProcessingInstruction(const wchar_t* target,
                                                                            const wchar_t* data) {
    return CCmlDOM_ProcessingInstruction(
        Held<DOMDocument>(__func__)->createProcessingInstruction(XStr(target), XStr(data)));
}
CCmlDOM_Text CCmlDOM_Document::createTextNode(const wchar_t* data) {
    return CCmlDOM_Text(Held<DOMDocument>(__func__)->createTextNode(XStr(data)));
}
const wchar_t* CCmlDOM_Document::getActualEncoding() const {
    return Result(Held<DOMDocument>(__func__)->getInputEncoding());
}
xercesc::DOMConfiguration* CCmlDOM_Document::getDOMConfiguration() const {
    return Held<DOMDocument>(__func__)->getDOMConfig();
}
CCmlDOM_DocumentType CCmlDOM_Document::getDoctype() const {
    return CCmlDOM_DocumentType(Held<DOMDocument>(__func__)->getDoctype());
}
CCmlDOM_Element CCmlDOM_Document::getDocumentElement() const {
    return CCmlDOM_Element(Held<DOMDocument>(__func__)->getDocumentElement());
}
const wchar_t* CCmlDOM_Document::getDocumentURI() const {
    return Result(Held<DOMDocument>(__func__)->getDocumentURI());
}
CCmlDOM_Element CCmlDOM_Document::getElementById(const wchar_t* elementId) const {
    return CCmlDOM_Element(Held<DOMDocument>(__func__)->getElementById(XStr(elementId)));
}
CCmlDOM_NodeList CCmlDOM_Document::getElementsByTagName(const wchar_t* tagName) const {
    return CCmlDOM_NodeList(Held<DOMDocument>(__func__)->getElementsByTagName(XStr(tagName)));
}
CCmlDOM_NodeList CCmlDOM_Document::getElementsByTagNameNS(const wchar_t* namespaceURI,
                                                          const wchar_t* localName) const {
    return CCmlDOM_NodeList(
        Held<DOMDocument>(__func__)->getElementsByTagNameNS(XStr(namespaceURI), XStr(localName)));
}
const wchar_t* CCmlDOM_Document::getEncoding() const {
    return Result(Held<DOMDocument>(__func__)->getXmlEncoding());
}
xercesc::DOMImplementation* CCmlDOM_Document::getImplementation() const {
    return Held<DOMDocument>(__func__)->getImplementation();
}
bool CCmlDOM_Document::getStandalone() const {
    return Held<DOMDocument>(__func__)->getXmlStandalone();
}
bool CCmlDOM_Document::getStrictErrorChecking() const {
    return Held<DOMDocument>(__func__)->getStrictErrorChecking();
}
const wchar_t* CCmlDOM_Document::getVersion() const {
    return Result(Held<DOMDocument>(__func__)->getXmlVersion());
}
CCmlDOM_Node CCmlDOM_Document::importNode(const CCmlDOM_Node& importedNode, bool deep) {
    return CCmlDOM_Node(Held<DOMDocument>(__func__)->importNode(importedNode.GetDOMNode(), deep));
}
void CCmlDOM_Document::normalizeDocument() { Held<DOMDocument>(__func__)->normalizeDocument(); }
CCmlDOM_Node CCmlDOM_Document::renameNode(const CCmlDOM_Node& node, const wchar_t* namespaceURI,
                                          const wchar_t* qualifiedName) {
    return CCmlDOM_Node(Held<DOMDocument>(__func__)->renameNode(
        node.GetDOMNode(), XStr(namespaceURI), XStr(qualifiedName)));
}
void CCmlDOM_Document::setActualEncoding(const wchar_t*) {
    Held<DOMDocument>(__func__);
    dom_detail::ThrowNotSupported(ClassName(), __func__);
}
void CCmlDOM_Document::setEncoding(const wchar_t*) {
    Held<DOMDocument>(__func__);
    dom_detail::ThrowNotSupported(ClassName(), __func__);
}
void CCmlDOM_Document::setDocumentURI(const wchar_t* documentURI) {
    Held<DOMDocument>(__func__)->setDocumentURI(XStr(documentURI));
}
void CCmlDOM_Document::setStandalone(bool standalone) {
    Held<DOMDocument>(__func__)->setXmlStandalone(standalone);
}
void CCmlDOM_Document::setStrictErrorChecking(bool strict) {
    Held<DOMDocument>(__func__)->setStrictErrorChecking(strict);
}
void CCmlDOM_Document::setVersion(const wchar_t* version) {
    Held<DOMDocument>(__func__)->setXmlVersion(XStr(version));
}
ZAV_CML_DOM_NARROW(CCmlDOM_Document, getActualEncoding)
ZAV_CML_DOM_NARROW(CCmlDOM_Document, getDocumentURI)
ZAV_CML_DOM_NARROW(CCmlDOM_Document, getEncoding)
ZAV_CML_DOM_NARROW(CCmlDOM_Document, getVersion)

bool CCmlDOM_DocumentType::Accepts(const DOMNode* node) const {
    return node->getNodeType() == DOMNode::DOCUMENT_TYPE_NODE;
}
CCmlDOM_NamedNodeMap CCmlDOM_DocumentType::getEntities() const {
    return CCmlDOM_NamedNodeMap(Held<DOMDocumentType>(__func__)->getEntities());
}
const wchar_t* CCmlDOM_DocumentType::getInternalSubset() const {
    return Result(Held<DOMDocumentType>(__func__)->getInternalSubset());
}
const wchar_t* CCmlDOM_DocumentType::getName() const {
    return Result(Held<DOMDocumentType>(__func__)->getName());
}
CCmlDOM_NamedNodeMap CCmlDOM_DocumentType::getNotations() const {
    return CCmlDOM_NamedNodeMap(Held<DOMDocumentType>(__func__)->getNotations());
}
const wchar_t* CCmlDOM_DocumentType::getPublicId() const {
    return Result(Held<DOMDocumentType>(__func__)->getPublicId());
}
const wchar_t* CCmlDOM_DocumentType::getSystemId() const {
    return Result(Held<DOMDocumentType>(__func__)->getSystemId());
}
ZAV_CML_DOM_NARROW(CCmlDOM_DocumentType, getInternalSubset)
ZAV_CML_DOM_NARROW(CCmlDOM_DocumentType, getName)
ZAV_CML_DOM_NARROW(CCmlDOM_DocumentType, getPublicId)
ZAV_CML_DOM_NARROW(CCmlDOM_DocumentType, getSystemId)

bool CCmlDOM_DocumentFragment::Accepts(const DOMNode* node) const {
    return node->getNodeType() == DOMNode::DOCUMENT_FRAGMENT_NODE;
}

}  // namespace zav::cml
