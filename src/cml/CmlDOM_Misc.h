// Wrappers of the DTD-related node kinds and processing instructions.
#pragma once

#include <xercesc/dom/DOMEntity.hpp>
#include <xercesc/dom/DOMEntityReference.hpp>
#include <xercesc/dom/DOMNotation.hpp>
#include <xercesc/dom/DOMProcessingInstruction.hpp>

#include "cml/CmlDOM_Node.h"

namespace zav::cml {

class CCmlDOM_Entity : public virtual CCmlDOM_Node {
public:
    CCmlDOM_Entity() = default;
    explicit CCmlDOM_Entity(xercesc::DOMEntity* entity) : CCmlDOM_Node(entity) {}

    void SetDOMEntity(xercesc::DOMNode* node) { SetChecked(node, "SetDOMEntity"); }

    virtual const wchar_t* getActualEncoding() const;
    virtual const wchar_t* getEncoding() const;
    virtual const wchar_t* getNotationName() const;
    virtual const wchar_t* getPublicId() const;
    virtual const wchar_t* getSystemId() const;
    virtual const wchar_t* getVersion() const;
    // Entities are read-only in the parser: the setters always raise.
    virtual void setActualEncoding(const wchar_t* encoding);
    virtual void setEncoding(const wchar_t* encoding);
    virtual void setVersion(const wchar_t* version);

    void getActualEncoding(std::string& out) const;
    void getEncoding(std::string& out) const;
    void getNotationName(std::string& out) const;
    void getPublicId(std::string& out) const;
    void getSystemId(std::string& out) const;
    void getVersion(std::string& out) const;

protected:
    const char* ClassName() const override { return "CCmlDOM_Entity"; }
    bool Accepts(const xercesc::DOMNode* node) const override;
};

class CCmlDOM_EntityReference : public virtual CCmlDOM_Node {
public:
    CCmlDOM_EntityReference() = default;
    explicit CCmlDOM_EntityReference(xercesc::DOMEntityReference* ref) : CCmlDOM_Node(ref) {}

    void SetDOMEntityReference(xercesc::DOMNode* node) {
        SetChecked(node, "SetDOMEntityReference");
    }

protected:
    const char* ClassName() const override { return "CCmlDOM_EntityReference"; }
    bool Accepts(const xercesc::DOMNode* node) const override;
};

class CCmlDOM_Notation : public virtual CCmlDOM_Node {
public:
    CCmlDOM_Notation() = default;
    explicit CCmlDOM_Notation(xercesc::DOMNotation* notation) : CCmlDOM_Node(notation) {}

    void SetDOMNotation(xercesc::DOMNode* node) { SetChecked(node, "SetDOMNotation"); }

    virtual const wchar_t* getPublicId() const;
    virtual const wchar_t* getSystemId() const;
    void getPublicId(std::string& out) const;
    void getSystemId(std::string& out) const;

protected:
    const char* ClassName() const override { return "CCmlDOM_Notation"; }
    bool Accepts(const xercesc::DOMNode* node) const override;
};

class CCmlDOM_ProcessingInstruction : public virtual CCmlDOM_Node {
public:
    CCmlDOM_ProcessingInstruction() = default;
    explicit CCmlDOM_ProcessingInstruction(xercesc::DOMProcessingInstruction* pi)
        : CCmlDOM_Node(pi) {}

    void SetDOMProcessingInstruction(xercesc::DOMNode* node) {
        SetChecked(node, "SetDOMProcessingInstruction");
    }

    virtual const wchar_t* getData() const;
    virtual const wchar_t* getTarget() const;
    virtual void setData(const wchar_t* data);
    void getData(std::string& out) const;
    void getTarget(std::string& out) const;

protected:
    const char* ClassName() const override { return "CCmlDOM_ProcessingInstruction"; }
    bool Accepts(const xercesc::DOMNode* node) const override;
};

}  // namespace zav::cml
