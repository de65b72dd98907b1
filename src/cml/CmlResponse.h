// CCmlResponse: the base of every response class. Adds a result code and text.
#pragma once

#include <cstdint>

#include "cml/CmlMessageBase.h"

namespace zav::cml {

class CCmlResponse : public CMessageBase {
public:
    CCmlResponse() = default;
    CCmlResponse(std::wstring tagName, std::wstring namespaceURI, std::wstring schemaVersion);
    CCmlResponse(const CCmlResponse&) = default;
    CCmlResponse& operator=(const CCmlResponse&) = default;

    using CMessageBase::Assign;
    ~CCmlResponse() override;
    CCmlDocumentBase* Clone() const override;
    // code is read with automatic base ("0x" hex, leading "0" octal); absent or unreadable is 0.
    void Deserialize(const CCmlDOM_Element& element) override;
    // code='0x..' unless 0 (or always, with the default-values switch on); text escaped when
    // not empty.
    void SerializeAttributes(std::wostream& os) const override;
    void SerializeAttributes(std::ostream& os) const override;
    uint32_t GetCode() const override { return m_uCode; }
    const std::wstring& GetText() const override { return m_strText; }

    virtual void Assign(const CCmlResponse& other);
    virtual void SetCode(uint32_t code) { m_uCode = code; }
    virtual void SetText(const std::wstring& text) { m_strText = text; }

private:
    template <class Stream>
    void WriteAttributes(Stream& os) const;

    uint32_t m_uCode = 0;
    std::wstring m_strText;
};

}  // namespace zav::cml
