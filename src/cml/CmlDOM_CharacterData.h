// Wrappers of character data nodes: text, CDATA sections and comments.
#pragma once

#include <xercesc/dom/DOMCDATASection.hpp>
#include <xercesc/dom/DOMCharacterData.hpp>
#include <xercesc/dom/DOMComment.hpp>
#include <xercesc/dom/DOMText.hpp>

#include <cstddef>

#include "cml/CmlDOM_Node.h"

namespace zav::cml {

class CCmlDOM_CharacterData : public virtual CCmlDOM_Node {
public:
    CCmlDOM_CharacterData() = default;
    explicit CCmlDOM_CharacterData(xercesc::DOMCharacterData* data) : CCmlDOM_Node(data) {}

    virtual void appendData(const wchar_t* arg);
    virtual void deleteData(std::size_t offset, std::size_t count);
    virtual const wchar_t* getData() const;
    virtual std::size_t getLength() const;
    virtual void insertData(std::size_t offset, const wchar_t* arg);
    virtual void replaceData(std::size_t offset, std::size_t count, const wchar_t* arg);
    virtual void setData(const wchar_t* data);
    virtual const wchar_t* substringData(std::size_t offset, std::size_t count) const;

    void getData(std::string& out) const;

protected:
    const char* ClassName() const override { return "CCmlDOM_CharacterData"; }
    bool Accepts(const xercesc::DOMNode* node) const override;
};

class CCmlDOM_Text : public CCmlDOM_CharacterData {
public:
    CCmlDOM_Text() = default;
    explicit CCmlDOM_Text(xercesc::DOMText* text) : CCmlDOM_Node(text) {}

    xercesc::DOMText* GetDOMText() const { return static_cast<xercesc::DOMText*>(GetDOMNode()); }
    void SetDOMText(xercesc::DOMNode* node) { SetChecked(node, "SetDOMText"); }

    virtual bool getIsWhitespaceInElementContent() const;
    virtual const wchar_t* getWholeText() const;
    virtual bool isIgnorableWhitespace() const;
    virtual CCmlDOM_Text replaceWholeText(const wchar_t* content);
    virtual CCmlDOM_Text splitText(std::size_t offset);

    void getWholeText(std::string& out) const;

protected:
    const char* ClassName() const override { return "CCmlDOM_Text"; }
    bool Accepts(const xercesc::DOMNode* node) const override;
};

class CCmlDOM_CDATASection : public CCmlDOM_Text {
public:
    CCmlDOM_CDATASection() = default;
    explicit CCmlDOM_CDATASection(xercesc::DOMCDATASection* section) : CCmlDOM_Node(section) {}

    void SetDOMCDATASection(xercesc::DOMNode* node) { SetChecked(node, "SetDOMCDATASection"); }

protected:
    const char* ClassName() const override { return "CCmlDOM_CDATASection"; }
    bool Accepts(const xercesc::DOMNode* node) const override;
};

class CCmlDOM_Comment : public CCmlDOM_CharacterData {
public:
    CCmlDOM_Comment() = default;
    explicit CCmlDOM_Comment(xercesc::DOMComment* comment) : CCmlDOM_Node(comment) {}

    void SetDOMComment(xercesc::DOMNode* node) { SetChecked(node, "SetDOMComment"); }

protected:
    const char* ClassName() const override { return "CCmlDOM_Comment"; }
    bool Accepts(const xercesc::DOMNode* node) const override;
};

}  // namespace zav::cml
