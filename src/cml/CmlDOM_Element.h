// Wrappers of element and attribute nodes.
#pragma once

#include <xercesc/dom/DOMAttr.hpp>
#include <xercesc/dom/DOMElement.hpp>

#include "cml/CmlDOM_Node.h"

namespace zav::cml {

class CCmlDOM_Attr;
class CCmlDOM_NodeList;
class CCmlDOM_TypeInfo;

class CCmlDOM_Element : public virtual CCmlDOM_Node {
public:
    CCmlDOM_Element() = default;
    explicit CCmlDOM_Element(xercesc::DOMElement* element) : CCmlDOM_Node(element) {}

    xercesc::DOMElement* GetDOMElement() const {
        return static_cast<xercesc::DOMElement*>(GetDOMNode());
    }
    // Holds node, which must be an element; null empties the wrapper.
    void SetDOMElement(xercesc::DOMNode* node) { SetChecked(node, "SetDOMElement"); }

    // An absent attribute gives an empty string, as the parser does.
    virtual const wchar_t* getAttribute(const wchar_t* name) const;
    virtual const wchar_t* getAttributeNS(const wchar_t* namespaceURI,
                                          const wchar_t* localName) const;
    virtual CCmlDOM_Attr getAttributeNode(const wchar_t* name) const;
    virtual CCmlDOM_Attr getAttributeNodeNS(const wchar_t* namespaceURI,
                                            const wchar_t* localName) const;
    virtual CCmlDOM_NodeList getElementsByTagName(const wchar_t* name) const;
    virtual CCmlDOM_NodeList getElementsByTagNameNS(const wchar_t* namespaceURI,
                                                    const wchar_t* localName) const;
    virtual const wchar_t* getTagName() const;
    virtual CCmlDOM_TypeInfo getTypeInfo() const;
    virtual bool hasAttribute(const wchar_t* name) const;
    virtual bool hasAttributeNS(const wchar_t* namespaceURI, const wchar_t* localName) const;
    virtual void removeAttribute(const wchar_t* name);
    virtual void removeAttributeNS(const wchar_t* namespaceURI, const wchar_t* localName);
    virtual CCmlDOM_Attr removeAttributeNode(const CCmlDOM_Attr& oldAttr);
    virtual void setAttribute(const wchar_t* name, const wchar_t* value);
    virtual void setAttributeNS(const wchar_t* namespaceURI, const wchar_t* qualifiedName,
                                const wchar_t* value);
    virtual CCmlDOM_Attr setAttributeNode(const CCmlDOM_Attr& newAttr);
    virtual CCmlDOM_Attr setAttributeNodeNS(const CCmlDOM_Attr& newAttr);
    virtual void setIdAttribute(const wchar_t* name, bool isId);
    virtual void setIdAttributeNS(const wchar_t* namespaceURI, const wchar_t* localName, bool isId);
    virtual void setIdAttributeNode(const CCmlDOM_Attr& idAttr, bool isId);

    void getAttribute(const wchar_t* name, std::string& out) const;
    // Wide forms that convert straight into out, reusing its buffer: for readers that keep the
    // text. An absent attribute gives an empty string.
    void getAttribute(const wchar_t* name, std::wstring& out) const;
    void getTagName(std::wstring& out) const;
    void getAttributeNS(const wchar_t* namespaceURI, const wchar_t* localName,
                        std::string& out) const;
    void getTagName(std::string& out) const;

protected:
    const char* ClassName() const override { return "CCmlDOM_Element"; }
    bool Accepts(const xercesc::DOMNode* node) const override;
};

class CCmlDOM_Attr : public virtual CCmlDOM_Node {
public:
    CCmlDOM_Attr() = default;
    explicit CCmlDOM_Attr(xercesc::DOMAttr* attr) : CCmlDOM_Node(attr) {}

    xercesc::DOMAttr* GetDOMAttr() const { return static_cast<xercesc::DOMAttr*>(GetDOMNode()); }
    void SetDOMAttr(xercesc::DOMNode* node) { SetChecked(node, "SetDOMAttr"); }

    virtual const wchar_t* getName() const;
    virtual CCmlDOM_Element getOwnerElement() const;
    virtual bool getSpecified() const;
    virtual CCmlDOM_TypeInfo getTypeInfo() const;
    virtual const wchar_t* getValue() const;
    virtual bool isId() const;
    virtual void setValue(const wchar_t* value);

    void getName(std::string& out) const;
    void getValue(std::string& out) const;

protected:
    const char* ClassName() const override { return "CCmlDOM_Attr"; }
    bool Accepts(const xercesc::DOMNode* node) const override;
};

}  // namespace zav::cml
