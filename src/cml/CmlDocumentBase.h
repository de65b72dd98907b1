// The abstract root of every CML object that maps to one XML element: its tag name, namespace and
// schema version, and the virtual interface through which it is cloned, read from a DOM element
// and written as XML (as one element or as a whole document, to wide and narrow streams).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>

#include "cml/CmlNamespace.h"

namespace zav::cml {

class CCmlDOM_Element;

class CCmlDocumentBase {
public:
    CCmlDocumentBase() = default;
    CCmlDocumentBase(std::wstring tagName, std::wstring namespaceURI, std::wstring schemaVersion)
        : m_strTagName(std::move(tagName)),
          m_strNamespace(std::move(namespaceURI)),
          m_strSchemaVersion(std::move(schemaVersion)) {}
    CCmlDocumentBase(const CCmlDocumentBase&) = default;
    CCmlDocumentBase& operator=(const CCmlDocumentBase&) = default;

    // Copies tag name, schema version and namespace through the getters and setters.
    virtual void Assign(const CCmlDocumentBase& other) {
        if (&other == this) return;
        SetTagName(other.GetTagName());
        SetSchemaVersion(other.GetSchemaVersion());
        SetNamespace(other.GetNamespace());
    }
    virtual ~CCmlDocumentBase() = default;
    // A new heap copy of the same dynamic class, owned by the caller.
    virtual CCmlDocumentBase* Clone() const = 0;

    virtual const std::wstring& GetTagName() const { return m_strTagName; }
    virtual const std::wstring& GetSchemaVersion() const { return m_strSchemaVersion; }
    virtual const std::wstring& GetNamespace() const { return m_strNamespace; }
    // The version declared in schema-version when the object is written.
    virtual const std::wstring& GetDocumentSchemaVersion() const = 0;
    virtual void SetTagName(const std::wstring& tagName) { m_strTagName = tagName; }
    virtual void SetSchemaVersion(const std::wstring& version) { m_strSchemaVersion = version; }
    virtual void SetNamespace(const std::wstring& namespaceURI) { m_strNamespace = namespaceURI; }
    virtual void SetDocumentSchemaVersion(const std::wstring& version) = 0;

    virtual uint32_t GetChildElementCount() const { return 0; }
    // Adds (GetNamespace, GetDocumentSchemaVersion) to the set; another version already held for
    // the namespace raises CCmlException 0xC738000E.
    virtual void GetNamespaces(NamespaceSet& namespaces) const;
    // Reads tag name, namespace and schema-version from the element; the element must be in
    // this object's namespace.
    virtual void Deserialize(const CCmlDOM_Element& element);

    // This object as one element at an indentation level.
    virtual void SerializeElement(std::wostream& os, uint32_t level) const;
    virtual void SerializeElement(std::ostream& os, uint32_t level) const;
    // A whole document with this object as root element; the narrow form writes UTF-8.
    virtual void Serialize(std::wostream& os) const;
    virtual void Serialize(std::ostream& os) const;
    virtual void SerializeToFile(const wchar_t* path) const;
    virtual void SerializeToFile(const char* path) const;
    // " xmlns='...' schema-version='...'" (GetNamespace, GetDocumentSchemaVersion).
    virtual void SerializeAttributes(std::wostream& os) const;
    virtual void SerializeAttributes(std::ostream& os) const;
    // The child elements at an indentation level; the base writes nothing and returns 0.
    virtual int SerializeContent(std::wostream& /*os*/, uint32_t /*level*/) const { return 0; }
    virtual int SerializeContent(std::ostream& /*os*/, uint32_t /*level*/) const { return 0; }

private:
    std::wstring m_strTagName;
    std::wstring m_strNamespace;
    std::wstring m_strSchemaVersion;
};

}  // namespace zav::cml
