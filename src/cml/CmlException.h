// The exception of the CML layer: a context (what was being done), a message (what went wrong)
// and a 32-bit status code. Texts are wide strings; what() gives the description text in UTF-8.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace zav::cml {

// CML facility (0x738) statuses raised by this layer.
constexpr uint32_t CML_W_PARSE_WARNING = 0x47380001u;
constexpr uint32_t CML_E_PARSE_ERROR = 0xC7380002u;
constexpr uint32_t CML_E_PARSE_FATAL = 0xC7380003u;
constexpr uint32_t CML_E_MISSING_ELEMENT = 0xC7380005u;
constexpr uint32_t CML_E_UNRECOGNIZED_NAMESPACE = 0xC738000Au;
constexpr uint32_t CML_E_INVALID_INDEX = 0xC738000Bu;
constexpr uint32_t CML_E_NAMESPACE_CONFLICT = 0xC738000Eu;
constexpr uint32_t CML_E_NULL_ELEMENT = 0xC738000Fu;
constexpr uint32_t CML_E_UNEXPECTED_DOCUMENT = 0xC7380011u;
constexpr uint32_t CML_E_WRONG_NODE_TYPE = 0xC7380014u;
constexpr uint32_t CML_E_NULL_NODE = 0xC7380027u;

class CCmlException : public std::exception {
public:
    CCmlException();
    CCmlException(std::wstring context, std::wstring message, uint32_t code);
    ~CCmlException() override;

    const std::wstring& GetContext() const { return m_strContext; }
    const std::wstring& GetMessage() const { return m_strMessage; }
    uint32_t GetCode() const { return m_uCode; }

    void SetContext(const std::wstring& context);
    void SetMessage(const std::wstring& message);
    void SetCode(uint32_t code);

    // context + ":  " + message + "; error = 0x" + code in lower-case hex, no leading zeros.
    std::wstring GetDescription() const;
    // Multi-line form for dumps and diagnostics: one labelled line per field, the code as eight
    // upper-case hex digits.
    std::wstring GetFullText() const;

    // UTF-8 form of GetDescription().
    const char* what() const noexcept override { return m_strWhat.c_str(); }

    // "0x" + lower-case hex without padding, as the description text writes codes.
    static std::wstring FormatCode(uint32_t code);

private:
    void UpdateWhat();

    std::wstring m_strContext;
    std::wstring m_strMessage;
    uint32_t m_uCode = 0;
    std::string m_strWhat;
};

}  // namespace zav::cml
