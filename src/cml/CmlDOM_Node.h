// Base of the node wrappers over the XML parser's DOM. A wrapper checks its node before every
// call, converts wide strings to and from the parser's strings and raises CCmlException on misuse;
// DOM errors of the parser pass through as they are.
#pragma once

#include <xercesc/dom/DOMNode.hpp>

#include <string>

#include "cml/CmlException.h"

namespace zav::cml {

class CCmlDOM_Document;
class CCmlDOM_NodeList;
class CCmlDOM_NamedNodeMap;

class CCmlDOM_Node {
public:
    CCmlDOM_Node() = default;
    // An owning wrapper releases the node's document when it lets go of the node.
    explicit CCmlDOM_Node(xercesc::DOMNode* node, bool owner = false);
    // Copies share the node; ownership moves from the source to the copy.
    CCmlDOM_Node(const CCmlDOM_Node& other);
    CCmlDOM_Node& operator=(const CCmlDOM_Node& other);
    virtual ~CCmlDOM_Node();

    xercesc::DOMNode* GetDOMNode() const { return m_pNode; }
    bool IsNull() const { return m_pNode == nullptr; }
    // Replaces the held node; a previously owned document is released unless the new node
    // belongs to it. Raises "Wrong source node type" when the node does not fit the wrapper.
    virtual void SetDOMNode(xercesc::DOMNode* node);
    bool GetOwner() const { return m_bOwner; }
    void SetOwner(bool owner) { m_bOwner = owner; }

    // The node interface. String results stay valid until the next string result of this
    // wrapper; a null result of the parser is returned as null.
    virtual CCmlDOM_Node appendChild(const CCmlDOM_Node& newChild);
    virtual CCmlDOM_Node cloneNode(bool deep) const;
    virtual short compareTreePosition(const CCmlDOM_Node& other) const;
    virtual CCmlDOM_NamedNodeMap getAttributes() const;
    virtual const wchar_t* getBaseURI() const;
    virtual CCmlDOM_NodeList getChildNodes() const;
    virtual CCmlDOM_Node getFirstChild() const;
    virtual void* getInterface(const wchar_t* feature, const wchar_t* version = nullptr) const;
    virtual CCmlDOM_Node getLastChild() const;
    virtual const wchar_t* getLocalName() const;
    virtual const wchar_t* getNamespaceURI() const;
    virtual CCmlDOM_Node getNextSibling() const;
    virtual const wchar_t* getNodeName() const;
    virtual short getNodeType() const;
    virtual const wchar_t* getNodeValue() const;
    virtual CCmlDOM_Document getOwnerDocument() const;
    virtual CCmlDOM_Node getParentNode() const;
    virtual const wchar_t* getPrefix() const;
    virtual CCmlDOM_Node getPreviousSibling() const;
    virtual const wchar_t* getTextContent() const;
    virtual void* getUserData(const wchar_t* key) const;
    virtual bool hasAttributes() const;
    virtual bool hasChildNodes() const;
    virtual CCmlDOM_Node insertBefore(const CCmlDOM_Node& newChild, const CCmlDOM_Node& refChild);
    virtual bool isDefaultNamespace(const wchar_t* namespaceURI) const;
    virtual bool isEqualNode(const CCmlDOM_Node& other) const;
    virtual bool isSameNode(const CCmlDOM_Node& other) const;
    virtual bool isSupported(const wchar_t* feature, const wchar_t* version) const;
    virtual const wchar_t* lookupNamespacePrefix(const wchar_t* namespaceURI,
                                                 bool useDefault = false) const;
    virtual const wchar_t* lookupNamespaceURI(const wchar_t* prefix) const;
    virtual void normalize();
    // Releases the node (and with it its subtree) and empties the wrapper.
    virtual void release();
    virtual CCmlDOM_Node removeChild(const CCmlDOM_Node& oldChild);
    virtual CCmlDOM_Node replaceChild(const CCmlDOM_Node& newChild, const CCmlDOM_Node& oldChild);
    virtual void setNodeValue(const wchar_t* value);
    virtual void setPrefix(const wchar_t* prefix);
    virtual void setTextContent(const wchar_t* text);
    virtual void* setUserData(const wchar_t* key, void* data,
                              xercesc::DOMUserDataHandler* handler = nullptr);

    // Whether the node name (as written, prefix included) or the namespace is the given text,
    // compared in the parser's own form: nothing converted, nothing copied. A node without a
    // namespace has none of them.
    bool IsNodeName(const wchar_t* name) const;
    bool IsNamespaceURI(const wchar_t* namespaceURI) const;

    // Narrow (UTF-8) forms of the string getters; a null result gives an empty string.
    void getBaseURI(std::string& out) const;
    void getLocalName(std::string& out) const;
    void getNamespaceURI(std::string& out) const;
    void getNodeName(std::string& out) const;
    void getNodeValue(std::string& out) const;
    void getPrefix(std::string& out) const;
    void getTextContent(std::string& out) const;

protected:
    // Class name used in failure contexts, and the text raised for a missing node.
    virtual const char* ClassName() const { return "CCmlDOM_Node"; }
    virtual const wchar_t* NullMessage() const { return L"The node is NULL"; }
    // Whether a node of this type may be held by this wrapper class.
    virtual bool Accepts(const xercesc::DOMNode* node) const;

    // The held node as the parser's interface X; raises "The node is NULL" naming op.
    template <class X>
    X* Held(const char* op) const {
        if (m_pNode == nullptr) ThrowNull(op);
        return static_cast<X*>(m_pNode);
    }
    // Type-checked replacement of the node, for the typed setters of the derived classes.
    void SetChecked(xercesc::DOMNode* node, const char* op);
    const wchar_t* Result(const XMLCh* s) const;

private:
    [[noreturn]] void ThrowNull(const char* op) const;
    void ReleaseOwned() noexcept;

    mutable std::wstring m_strResult;
    xercesc::DOMNode* m_pNode = nullptr;
    mutable bool m_bOwner = false;  // a copy takes ownership from a const source
};

}  // namespace zav::cml
