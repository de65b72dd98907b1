// Explaining a failed validating parse in terms of CML schema versions: CSchemaIncompatibility
// names one namespace whose elements declare a version this library cannot read, and
// CSchemaException carries the parse failure together with every such incompatibility.
#pragma once

#include <set>
#include <string>

#include "cml/CmlException.h"

namespace zav::cml {

class CSchemaIncompatibility {
public:
    CSchemaIncompatibility() = default;
    CSchemaIncompatibility(std::wstring namespaceURI, std::wstring expectedVersion,
                           std::wstring foundVersion);
    CSchemaIncompatibility(const CSchemaIncompatibility&) = default;
    CSchemaIncompatibility& operator=(const CSchemaIncompatibility&) = default;

    // By namespace, then expected version, then found version, code point by code point.
    virtual bool IsLess(const CSchemaIncompatibility& other) const;
    virtual void Assign(const CSchemaIncompatibility& other);
    virtual ~CSchemaIncompatibility();
    virtual CSchemaIncompatibility* Clone() const;
    virtual const std::wstring& GetNamespace() const { return m_strNamespace; }
    virtual const std::wstring& GetExpectedVersion() const { return m_strExpectedVersion; }
    virtual const std::wstring& GetFoundVersion() const { return m_strFoundVersion; }

private:
    std::wstring m_strNamespace;
    std::wstring m_strExpectedVersion;
    std::wstring m_strFoundVersion;
};

struct CSchemaIncompatibilityLess {
    bool operator()(const CSchemaIncompatibility& a, const CSchemaIncompatibility& b) const {
        return a.IsLess(b);
    }
};

using SchemaIncompatibilitySet = std::set<CSchemaIncompatibility, CSchemaIncompatibilityLess>;

class CSchemaException : public CCmlException {
public:
    CSchemaException() = default;
    CSchemaException(std::wstring context, std::wstring message, uint32_t code);
    // Same context, message and code as e; an empty set.
    explicit CSchemaException(const CCmlException& e);
    ~CSchemaException() override;

    // Duplicates collapse.
    void AddIncompatibility(const std::wstring& namespaceURI, const std::wstring& expectedVersion,
                            const std::wstring& foundVersion);
    const SchemaIncompatibilitySet& GetIncompatibilities() const { return m_incompatibilities; }
    SchemaIncompatibilitySet& GetIncompatibilities() { return m_incompatibilities; }

private:
    SchemaIncompatibilitySet m_incompatibilities;
};

}  // namespace zav::cml
