// Internal helpers shared by the DOM wrapper implementations: argument and result conversion
// between wide strings and the parser's 16-bit strings, and the null-object failure.
#pragma once

#include <xercesc/util/XercesDefs.hpp>

#include <string>

namespace zav::cml::dom_detail {

// A wide argument as the parser's string for the duration of one call; null stays null.
class XStr {
public:
    explicit XStr(const wchar_t* s);
    operator const XMLCh*() const { return m_bNull ? nullptr : m_str.c_str(); }

private:
    bool m_bNull;
    std::u16string m_str;
};

// Converts a parser string into the wrapper's result slot; null stays null.
const wchar_t* StoreResult(std::wstring& slot, const XMLCh* s);

// UTF-8 copy of a wide result; null gives an empty string.
std::string Narrow(const wchar_t* s);

[[noreturn]] void ThrowNull(const char* cls, const char* op, const wchar_t* message);
[[noreturn]] void ThrowWrongType(const char* cls, const char* op);
[[noreturn]] void ThrowNotSupported(const char* cls, const char* op);
[[noreturn]] void ThrowNullArgument(const char* cls, const char* op);

}  // namespace zav::cml::dom_detail

// Defines the narrow-string form of a string getter without arguments.
#define ZAV_CML_DOM_NARROW(Cls, op) \
    void Cls::op(std::string& out) const { out = dom_detail::Narrow(op()); }
