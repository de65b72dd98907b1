// Wrappers of documents, document types and document fragments. A document wrapper made by a
// parser owns its document and releases it when it lets go.
#pragma once

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMDocumentFragment.hpp>
#include <xercesc/dom/DOMDocumentType.hpp>

#include <cstdint>

#include "cml/CmlDOM_Node.h"

namespace zav::cml {

class CCmlDOM_Attr;
class CCmlDOM_CDATASection;
class CCmlDOM_Comment;
class CCmlDOM_DocumentFragment;
class CCmlDOM_DocumentType;
class CCmlDOM_Element;
class CCmlDOM_Entity;
class CCmlDOM_EntityReference;
class CCmlDOM_NamedNodeMap;
class CCmlDOM_NodeList;
class CCmlDOM_Notation;
class CCmlDOM_ProcessingInstruction;
class CCmlDOM_Text;

class CCmlDOM_Document : public virtual CCmlDOM_Node {
public:
    CCmlDOM_Document() = default;
    explicit CCmlDOM_Document(xercesc::DOMDocument* document, bool owner = false)
        : CCmlDOM_Node(document, owner) {}

    xercesc::DOMDocument* GetDOMDocument() const {
        return static_cast<xercesc::DOMDocument*>(GetDOMNode());
    }

    virtual CCmlDOM_Node adoptNode(const CCmlDOM_Node& source);
    virtual CCmlDOM_Attr createAttribute(const wchar_t* name);
    virtual CCmlDOM_Attr createAttributeNS(const wchar_t* namespaceURI,
                                           const wchar_t* qualifiedName);
    virtual CCmlDOM_CDATASection createCDATASection(const wchar_t* data);
    virtual CCmlDOM_Comment createComment(const wchar_t* data);
    virtual CCmlDOM_DocumentFragment createDocumentFragment();
    virtual CCmlDOM_DocumentType createDocumentType(const wchar_t* name);
    virtual CCmlDOM_DocumentType createDocumentType(const wchar_t* qualifiedName,
                                                    const wchar_t* publicId,
                                                    const wchar_t* systemId);
    virtual CCmlDOM_Element createElement(const wchar_t* tagName);
    virtual CCmlDOM_Element createElementNS(const wchar_t* namespaceURI,
                                            const wchar_t* qualifiedName);
    virtual CCmlDOM_Element createElementNS(const wchar_t* namespaceURI,
                                            const wchar_t* qualifiedName, uint64_t lineNum,
                                            uint64_t columnNum);
    virtual CCmlDOM_Entity createEntity(const wchar_t* name);
    virtual CCmlDOM_EntityReference createEntityReference(const wchar_t* name);
    virtual CCmlDOM_Notation createNotation(const wchar_t* name);
    virtual CCmlDOM_ProcessingInstruction createProcessingInstruction(const wchar_t* target,
                                                                      const wchar_t* data);
    virtual CCmlDOM_Text createTextNode(const wchar_t* data);
    virtual const wchar_t* getActualEncoding() const;
    virtual xercesc::DOMConfiguration* getDOMConfiguration() const;
    virtual CCmlDOM_DocumentType getDoctype() const;
    virtual CCmlDOM_Element getDocumentElement() const;
    virtual const wchar_t* getDocumentURI() const;
    virtual CCmlDOM_Element getElementById(const wchar_t* elementId) const;
    virtual CCmlDOM_NodeList getElementsByTagName(const wchar_t* tagName) const;
    virtual CCmlDOM_NodeList getElementsByTagNameNS(const wchar_t* namespaceURI,
                                                    const wchar_t* localName) const;
    virtual const wchar_t* getEncoding() const;
    virtual xercesc::DOMImplementation* getImplementation() const;
    virtual bool getStandalone() const;
    virtual bool getStrictErrorChecking() const;
    virtual const wchar_t* getVersion() const;
    virtual CCmlDOM_Node importNode(const CCmlDOM_Node& importedNode, bool deep);
    virtual void normalizeDocument();
    virtual CCmlDOM_Node renameNode(const CCmlDOM_Node& node, const wchar_t* namespaceURI,
                                    const wchar_t* qualifiedName);
    // The parser keeps the input and declared encodings read-only: these two always raise.
    virtual void setActualEncoding(const wchar_t* encoding);
    virtual void setEncoding(const wchar_t* encoding);
    virtual void setDocumentURI(const wchar_t* documentURI);
    virtual void setStandalone(bool standalone);
    virtual void setStrictErrorChecking(bool strict);
    virtual void setVersion(const wchar_t* version);

    void getActualEncoding(std::string& out) const;
    void getDocumentURI(std::string& out) const;
    void getEncoding(std::string& out) const;
    void getVersion(std::string& out) const;

protected:
    const char* ClassName() const override { return "CCmlDOM_Document"; }
    const wchar_t* NullMessage() const override { return L"The document is NULL"; }
    bool Accepts(const xercesc::DOMNode* node) const override;
};

class CCmlDOM_DocumentType : public virtual CCmlDOM_Node {
public:
    CCmlDOM_DocumentType() = default;
    explicit CCmlDOM_DocumentType(xercesc::DOMDocumentType* type) : CCmlDOM_Node(type) {}

    void SetDOMDocumentType(xercesc::DOMNode* node) { SetChecked(node, "SetDOMDocumentType"); }

    virtual CCmlDOM_NamedNodeMap getEntities() const;
    virtual const wchar_t* getInternalSubset() const;
    virtual const wchar_t* getName() const;
    virtual CCmlDOM_NamedNodeMap getNotations() const;
    virtual const wchar_t* getPublicId() const;
    virtual const wchar_t* getSystemId() const;

    void getInternalSubset(std::string& out) const;
    void getName(std::string& out) const;
    void getPublicId(std::string& out) const;
    void getSystemId(std::string& out) const;

protected:
    const char* ClassName() const override { return "CCmlDOM_DocumentType"; }
    bool Accepts(const xercesc::DOMNode* node) const override;
};

class CCmlDOM_DocumentFragment : public virtual CCmlDOM_Node {
public:
    CCmlDOM_DocumentFragment() = default;
    explicit CCmlDOM_DocumentFragment(xercesc::DOMDocumentFragment* fragment)
        : CCmlDOM_Node(fragment) {}

    void SetDOMDocumentFragment(xercesc::DOMNode* node) {
        SetChecked(node, "SetDOMDocumentFragment");
    }

protected:
    const char* ClassName() const override { return "CCmlDOM_DocumentFragment"; }
    bool Accepts(const xercesc::DOMNode* node) const override;
};

}  // namespace zav::cml
