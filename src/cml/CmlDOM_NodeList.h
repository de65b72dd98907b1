// Wrappers of the parser's node lists, named node maps and type infos. They never own what they
// point to.
#pragma once

#include <xercesc/dom/DOMNamedNodeMap.hpp>
#include <xercesc/dom/DOMNodeList.hpp>
#include <xercesc/dom/DOMTypeInfo.hpp>

#include <cstddef>
#include <string>

#include "cml/CmlDOM_Node.h"

namespace zav::cml {

class CCmlDOM_NodeList {
public:
    CCmlDOM_NodeList() = default;
    explicit CCmlDOM_NodeList(xercesc::DOMNodeList* list) : m_pList(list) {}
    virtual ~CCmlDOM_NodeList() = default;

    xercesc::DOMNodeList* GetDOMNodeList() const { return m_pList; }
    void SetDOMNodeList(xercesc::DOMNodeList* list) { m_pList = list; }
    bool IsNull() const { return m_pList == nullptr; }

    virtual std::size_t getLength() const;
    virtual CCmlDOM_Node item(std::size_t index) const;

private:
    xercesc::DOMNodeList* Held(const char* op) const;

    xercesc::DOMNodeList* m_pList = nullptr;
};

class CCmlDOM_NamedNodeMap {
public:
    CCmlDOM_NamedNodeMap() = default;
    explicit CCmlDOM_NamedNodeMap(xercesc::DOMNamedNodeMap* map) : m_pMap(map) {}
    virtual ~CCmlDOM_NamedNodeMap() = default;

    xercesc::DOMNamedNodeMap* GetDOMNamedNodeMap() const { return m_pMap; }
    void SetDOMNamedNodeMap(xercesc::DOMNamedNodeMap* map) { m_pMap = map; }
    bool IsNull() const { return m_pMap == nullptr; }

    virtual std::size_t getLength() const;
    // A null name (or local name) raises "Received value is NULL".
    virtual CCmlDOM_Node getNamedItem(const wchar_t* name) const;
    virtual CCmlDOM_Node getNamedItemNS(const wchar_t* namespaceURI,
                                        const wchar_t* localName) const;
    virtual CCmlDOM_Node item(std::size_t index) const;
    virtual CCmlDOM_Node removeNamedItem(const wchar_t* name);
    virtual CCmlDOM_Node removeNamedItemNS(const wchar_t* namespaceURI, const wchar_t* localName);
    virtual CCmlDOM_Node setNamedItem(const CCmlDOM_Node& node);
    virtual CCmlDOM_Node setNamedItemNS(const CCmlDOM_Node& node);

private:
    xercesc::DOMNamedNodeMap* Held(const char* op, const wchar_t* name = L"") const;

    xercesc::DOMNamedNodeMap* m_pMap = nullptr;
};

class CCmlDOM_TypeInfo {
public:
    CCmlDOM_TypeInfo() = default;
    explicit CCmlDOM_TypeInfo(const xercesc::DOMTypeInfo* info) : m_pInfo(info) {}
    virtual ~CCmlDOM_TypeInfo() = default;

    const xercesc::DOMTypeInfo* GetDOMTypeInfo() const { return m_pInfo; }
    bool IsNull() const { return m_pInfo == nullptr; }

    // Type name and type namespace; same result-text rule as the node wrappers.
    virtual const wchar_t* getName() const;
    virtual const wchar_t* getNamespace() const;
    void getName(std::string& out) const;
    void getNamespace(std::string& out) const;

private:
    const xercesc::DOMTypeInfo* Held(const char* op) const;

    mutable std::wstring m_strResult;
    const xercesc::DOMTypeInfo* m_pInfo = nullptr;
};

}  // namespace zav::cml
