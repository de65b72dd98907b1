// Internal helpers shared by the DOM wrapper implementations: argument and result conversion
// between wide strings and the parser's 16-bit strings, and the null-object failure.
#pragma once

#include <xercesc/dom/DOMAttr.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/util/XercesDefs.hpp>

#include <string>

namespace zav::cml::dom_detail {

// A wide argument as the parser's string for the duration of one call; null stays null. Names
// and namespaces fit the object itself; only longer texts take the heap.
class XStr {
public:
    explicit XStr(const wchar_t* s);
    XStr(const XStr&) = delete;
    XStr& operator=(const XStr&) = delete;
    operator const XMLCh*() const { return m_pText; }

private:
    const XMLCh* m_pText = nullptr;
    XMLCh m_inPlace[96];
    std::u16string m_str;
};

// Converts a parser string into the wrapper's result slot; null stays null.
const wchar_t* StoreResult(std::wstring& slot, const XMLCh* s);
// Converts a parser string into out (replacing its content); null gives an empty string.
void ConvertInto(std::wstring& out, const XMLCh* s);

// The value of a parsed attribute. The parser gives a value one text node, whose characters are
// read directly; the general path walks the value's nodes through costly type checks.
const XMLCh* AttributeValue(const xercesc::DOMAttr* attribute);

// Whether the parser's text equals the wide text, compared as code points without converting
// either. A null parser text equals nothing, not even an empty text.
bool SameText(const XMLCh* text, const wchar_t* wide);

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
