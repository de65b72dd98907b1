#include "cml/CmlException.h"

#include <cstdio>
#include <utility>

#include "zavToolsLib/ConvertUTF.h"

namespace zav::cml {

CCmlException::CCmlException() { UpdateWhat(); }

CCmlException::CCmlException(std::wstring context, std::wstring message, uint32_t code)
    : m_strContext(std::move(context)), m_strMessage(std::move(message)), m_uCode(code) {
    UpdateWhat();
}

CCmlException::~CCmlException() = default;

void CCmlException::SetContext(const std::wstring& context) {
    m_strContext = context;
    UpdateWhat();
}

void CCmlException::SetMessage(const std::wstring& message) {
    m_strMessage = message;
    UpdateWhat();
}

void CCmlException::SetCode(uint32_t code) {
    m_uCode = code;
    UpdateWhat();
}

std::wstring CCmlException::FormatCode(uint32_t code) {
    wchar_t buf[16];
    std::swprintf(buf, sizeof buf / sizeof buf[0], L"0x%x", code);
    return buf;
}

std::wstring CCmlException::GetDescription() const {
    return m_strContext + L":  " + m_strMessage + L"; error = " + FormatCode(m_uCode);
}

std::wstring CCmlException::GetFullText() const {
    wchar_t code[16];
    std::swprintf(code, sizeof code / sizeof code[0], L"0x%08X", m_uCode);
    return L"Context: " + m_strContext + L"\nMessage: " + m_strMessage + L"\nError code: " + code;
}

void CCmlException::UpdateWhat() {
    // what() must not throw, so the text is prepared whenever a field changes.
    m_strWhat = zavToolsLib::ToUtf8(GetDescription());
}

}  // namespace zav::cml
