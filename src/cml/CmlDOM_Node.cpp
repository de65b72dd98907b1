#include "cml/CmlDOM_Node.h"

#include <xercesc/dom/DOMDocument.hpp>

#include "cml/CmlDOM_Document.h"
#include "cml/CmlDOM_NodeList.h"
#include "cml/CmlDOM_Support.h"

namespace zav::cml {

using dom_detail::XStr;
using xercesc::DOMNode;

namespace {

DOMNode* DocumentOf(DOMNode* node) {
    if (node == nullptr) return nullptr;
    if (node->getNodeType() == DOMNode::DOCUMENT_NODE) return node;
    return node->getOwnerDocument();
}

}  // namespace

CCmlDOM_Node::CCmlDOM_Node(DOMNode* node, bool owner) : m_pNode(node), m_bOwner(owner) {}

CCmlDOM_Node::CCmlDOM_Node(const CCmlDOM_Node& other)
    : m_strResult(other.m_strResult), m_pNode(other.m_pNode), m_bOwner(other.m_bOwner) {
    other.m_bOwner = false;
}

// SetDOMNode assigns m_pNode (and frees the node this one owned).
// cppcheck-suppress operatorEqVarError
CCmlDOM_Node& CCmlDOM_Node::operator=(const CCmlDOM_Node& other) {
    if (this == &other) return *this;
    const bool takeOwnership = other.m_bOwner;
    SetDOMNode(other.m_pNode);
    other.m_bOwner = false;
    m_bOwner = m_bOwner || takeOwnership;
    m_strResult = other.m_strResult;
    return *this;
}

CCmlDOM_Node::~CCmlDOM_Node() { ReleaseOwned(); }

void CCmlDOM_Node::ReleaseOwned() noexcept {
    if (!m_bOwner) return;
    m_bOwner = false;
    if (DOMNode* doc = DocumentOf(m_pNode)) {
        try {
            doc->release();
        } catch (...) {
            // Nothing may leave a destructor; the document is lost either way.
        }
    }
}

void CCmlDOM_Node::SetDOMNode(DOMNode* node) { SetChecked(node, "SetDOMNode"); }

void CCmlDOM_Node::SetChecked(DOMNode* node, const char* op) {
    if (node != nullptr && !Accepts(node)) dom_detail::ThrowWrongType(ClassName(), op);
    // Keep an owned document alive while the wrapper moves to another node inside it.
    if (m_bOwner && DocumentOf(node) != DocumentOf(m_pNode)) ReleaseOwned();
    if (node == nullptr) m_bOwner = false;
    m_pNode = node;
}

bool CCmlDOM_Node::Accepts(const DOMNode*) const { return true; }

void CCmlDOM_Node::ThrowNull(const char* op) const {
    dom_detail::ThrowNull(ClassName(), op, NullMessage());
}

const wchar_t* CCmlDOM_Node::Result(const XMLCh* s) const {
    return dom_detail::StoreResult(m_strResult, s);
}

// The node interface: check, convert, call.
CCmlDOM_Node CCmlDOM_Node::appendChild(const CCmlDOM_Node& newChild) {
    return CCmlDOM_Node(Held<DOMNode>(__func__)->appendChild(newChild.GetDOMNode()));
}
CCmlDOM_Node CCmlDOM_Node::cloneNode(bool deep) const {
    return CCmlDOM_Node(Held<DOMNode>(__func__)->cloneNode(deep));
}
short CCmlDOM_Node::compareTreePosition(const CCmlDOM_Node& other) const {
    return Held<DOMNode>(__func__)->compareDocumentPosition(other.GetDOMNode());
}
CCmlDOM_NamedNodeMap CCmlDOM_Node::getAttributes() const {
    return CCmlDOM_NamedNodeMap(Held<DOMNode>(__func__)->getAttributes());
}
const wchar_t* CCmlDOM_Node::getBaseURI() const {
    return Result(Held<DOMNode>(__func__)->getBaseURI());
}
CCmlDOM_NodeList CCmlDOM_Node::getChildNodes() const {
    return CCmlDOM_NodeList(Held<DOMNode>(__func__)->getChildNodes());
}
CCmlDOM_Node CCmlDOM_Node::getFirstChild() const {
    return CCmlDOM_Node(Held<DOMNode>(__func__)->getFirstChild());
}
void* CCmlDOM_Node::getInterface(const wchar_t* feature, const wchar_t* version) const {
    return Held<DOMNode>(__func__)->getFeature(XStr(feature), XStr(version));
}
CCmlDOM_Node CCmlDOM_Node::getLastChild() const {
    return CCmlDOM_Node(Held<DOMNode>(__func__)->getLastChild());
}
const wchar_t* CCmlDOM_Node::getLocalName() const {
    return Result(Held<DOMNode>(__func__)->getLocalName());
}
const wchar_t* CCmlDOM_Node::getNamespaceURI() const {
    return Result(Held<DOMNode>(__func__)->getNamespaceURI());
}
CCmlDOM_Node CCmlDOM_Node::getNextSibling() const {
    return CCmlDOM_Node(Held<DOMNode>(__func__)->getNextSibling());
}
const wchar_t* CCmlDOM_Node::getNodeName() const {
    return Result(Held<DOMNode>(__func__)->getNodeName());
}
short CCmlDOM_Node::getNodeType() const { return Held<DOMNode>(__func__)->getNodeType(); }
const wchar_t* CCmlDOM_Node::getNodeValue() const {
    return Result(Held<DOMNode>(__func__)->getNodeValue());
}
CCmlDOM_Document CCmlDOM_Node::getOwnerDocument() const {
    return CCmlDOM_Document(Held<DOMNode>(__func__)->getOwnerDocument());
}
CCmlDOM_Node CCmlDOM_Node::getParentNode() const {
    return CCmlDOM_Node(Held<DOMNode>(__func__)->getParentNode());
}
const wchar_t* CCmlDOM_Node::getPrefix() const {
    return Result(Held<DOMNode>(__func__)->getPrefix());
}
CCmlDOM_Node CCmlDOM_Node::getPreviousSibling() const {
    return CCmlDOM_Node(Held<DOMNode>(__func__)->getPreviousSibling());
}
const wchar_t* CCmlDOM_Node::getTextContent() const {
    return Result(Held<DOMNode>(__func__)->getTextContent());
}
void* CCmlDOM_Node::getUserData(const wchar_t* key) const {
    return Held<DOMNode>(__func__)->getUserData(XStr(key));
}
bool CCmlDOM_Node::hasAttributes() const { return Held<DOMNode>(__func__)->hasAttributes(); }
bool CCmlDOM_Node::hasChildNodes() const { return Held<DOMNode>(__func__)->hasChildNodes(); }
CCmlDOM_Node CCmlDOM_Node::insertBefore(const CCmlDOM_Node& newChild,
                                        const CCmlDOM_Node& refChild) {
    return CCmlDOM_Node(
        Held<DOMNode>(__func__)->insertBefore(newChild.GetDOMNode(), refChild.GetDOMNode()));
}
bool CCmlDOM_Node::isDefaultNamespace(const wchar_t* namespaceURI) const {
    return Held<DOMNode>(__func__)->isDefaultNamespace(XStr(namespaceURI));
}
bool CCmlDOM_Node::isEqualNode(const CCmlDOM_Node& other) const {
    return Held<DOMNode>(__func__)->isEqualNode(other.GetDOMNode());
}
bool CCmlDOM_Node::isSameNode(const CCmlDOM_Node& other) const {
    return Held<DOMNode>(__func__)->isSameNode(other.GetDOMNode());
}
bool CCmlDOM_Node::isSupported(const wchar_t* feature, const wchar_t* version) const {
    return Held<DOMNode>(__func__)->isSupported(XStr(feature), XStr(version));
}
// The parser always considers the default namespace, so useDefault has no effect.
const wchar_t* CCmlDOM_Node::lookupNamespacePrefix(const wchar_t* namespaceURI, bool) const {
    return Result(Held<DOMNode>(__func__)->lookupPrefix(XStr(namespaceURI)));
}
const wchar_t* CCmlDOM_Node::lookupNamespaceURI(const wchar_t* prefix) const {
    return Result(Held<DOMNode>(__func__)->lookupNamespaceURI(XStr(prefix)));
}
void CCmlDOM_Node::normalize() { Held<DOMNode>(__func__)->normalize(); }
void CCmlDOM_Node::release() {
    DOMNode* node = Held<DOMNode>(__func__);
    DOMNode* doc = DocumentOf(node);
    node->release();
    m_pNode = nullptr;
    // An owning wrapper that released a node inside its document still lets go of the document.
    if (m_bOwner) {
        m_bOwner = false;
        if (doc != node) doc->release();
    }
}
CCmlDOM_Node CCmlDOM_Node::removeChild(const CCmlDOM_Node& oldChild) {
    return CCmlDOM_Node(Held<DOMNode>(__func__)->removeChild(oldChild.GetDOMNode()));
}
CCmlDOM_Node CCmlDOM_Node::replaceChild(const CCmlDOM_Node& newChild,
                                        const CCmlDOM_Node& oldChild) {
    return CCmlDOM_Node(
        Held<DOMNode>(__func__)->replaceChild(newChild.GetDOMNode(), oldChild.GetDOMNode()));
}
void CCmlDOM_Node::setNodeValue(const wchar_t* value) {
    Held<DOMNode>(__func__)->setNodeValue(XStr(value));
}
void CCmlDOM_Node::setPrefix(const wchar_t* prefix) {
    Held<DOMNode>(__func__)->setPrefix(XStr(prefix));
}
void CCmlDOM_Node::setTextContent(const wchar_t* text) {
    Held<DOMNode>(__func__)->setTextContent(XStr(text));
}
void* CCmlDOM_Node::setUserData(const wchar_t* key, void* data,
                                xercesc::DOMUserDataHandler* handler) {
    return Held<DOMNode>(__func__)->setUserData(XStr(key), data, handler);
}

bool CCmlDOM_Node::IsNodeName(const wchar_t* name) const {
    return dom_detail::SameText(Held<DOMNode>(__func__)->getNodeName(), name);
}
bool CCmlDOM_Node::IsNamespaceURI(const wchar_t* namespaceURI) const {
    return dom_detail::SameText(Held<DOMNode>(__func__)->getNamespaceURI(), namespaceURI);
}

ZAV_CML_DOM_NARROW(CCmlDOM_Node, getBaseURI)
ZAV_CML_DOM_NARROW(CCmlDOM_Node, getLocalName)
ZAV_CML_DOM_NARROW(CCmlDOM_Node, getNamespaceURI)
ZAV_CML_DOM_NARROW(CCmlDOM_Node, getNodeName)
ZAV_CML_DOM_NARROW(CCmlDOM_Node, getNodeValue)
ZAV_CML_DOM_NARROW(CCmlDOM_Node, getPrefix)
ZAV_CML_DOM_NARROW(CCmlDOM_Node, getTextContent)

}  // namespace zav::cml
