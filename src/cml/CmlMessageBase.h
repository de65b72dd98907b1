// CMessageBase: everything that can stand inside a message body. Adds the request id and the
// schema version the object declares when written.
#pragma once

#include <string>

#include "cml/CmlDocumentBase.h"

namespace zav::cml {

class CMessageBase : public CCmlDocumentBase {
public:
    CMessageBase() = default;
    // The document schema version starts as schemaVersion.
    CMessageBase(std::wstring tagName, std::wstring namespaceURI, std::wstring schemaVersion);
    CMessageBase(const CMessageBase&) = default;
    CMessageBase& operator=(const CMessageBase&) = default;

    using CCmlDocumentBase::Assign;
    ~CMessageBase() override;
    CCmlDocumentBase* Clone() const override;
    const std::wstring& GetDocumentSchemaVersion() const override {
        return m_strDocumentSchemaVersion;
    }
    void SetDocumentSchemaVersion(const std::wstring& version) override {
        m_strDocumentSchemaVersion = version;
    }
    // The standard attributes and request-id.
    void Deserialize(const CCmlDOM_Element& element) override;
    // xmlns, schema-version, then request-id (always, as it is).
    void SerializeAttributes(std::wostream& os) const override;
    void SerializeAttributes(std::ostream& os) const override;

    virtual void Assign(const CMessageBase& other);
    virtual const std::wstring& GetRequestId() const { return m_strRequestId; }
    virtual void SetRequestId(const std::wstring& requestId) { m_strRequestId = requestId; }
    // Result of a response; 0 and an empty text for everything else.
    virtual uint32_t GetCode() const { return 0; }
    virtual const std::wstring& GetText() const;

private:
    std::wstring m_strRequestId;
    std::wstring m_strDocumentSchemaVersion;
};

}  // namespace zav::cml
