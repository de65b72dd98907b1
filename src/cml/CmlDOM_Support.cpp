#include "cml/CmlDOM_Support.h"

#include "cml/CmlException.h"
#include "zavToolsLib/ConvertUTF.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml {

namespace dom_detail {

namespace {

std::wstring Context(const char* cls, const char* op) {
    return zavToolsLib::FromUtf8(std::string(cls) + "::" + op + "()");
}

}  // namespace

XStr::XStr(const wchar_t* s) : m_bNull(s == nullptr) {
    if (s != nullptr) m_str = zavToolsLib::ToUtf16(std::wstring_view(s));
}

const wchar_t* StoreResult(std::wstring& slot, const XMLCh* s) {
    if (s == nullptr) return nullptr;
    // Converted in place so that the slot keeps its buffer when it is large enough.
    slot.clear();
    zavToolsLib::Utf16ToUtf32(s, slot, true);
    return slot.c_str();
}

std::string Narrow(const wchar_t* s) {
    return s == nullptr ? std::string() : zavToolsLib::ToUtf8(std::wstring_view(s));
}

void ThrowNull(const char* cls, const char* op, const wchar_t* message) {
    throw CCmlException(Context(cls, op), message, CML_E_NULL_NODE);
}

void ThrowWrongType(const char* cls, const char* op) {
    throw CCmlException(Context(cls, op), L"Wrong source node type", CML_E_WRONG_NODE_TYPE);
}

void ThrowNotSupported(const char* cls, const char* op) {
    throw CCmlException(Context(cls, op), L"Operation not supported by the XML parser library",
                        zavToolsLib::ZAV_E_NOT_SUPPORTED);
}

void ThrowNullArgument(const char* cls, const char* op) {
    throw CCmlException(Context(cls, op), L"Received value is NULL",
                        zavToolsLib::ZAV_E_INVALID_ARG);
}

}  // namespace dom_detail

}  // namespace zav::cml
