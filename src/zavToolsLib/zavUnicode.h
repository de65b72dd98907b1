// Conversion policies: UTF-8 to and from a string of a given code unit type, in strict and
// lenient form, for code that is written once for wide and 16-bit text.
//
// zavUnicode<wchar_t> works on std::wstring (UTF-32). zavUnicode<unsigned short> is named after
// the 16-bit unit but works on std::u16string: char16_t is the parser's XMLCh, and a
// basic_string of unsigned short has no standard character traits.
//
// Each operation returns a result code (see ConvertUTF.h) and sets `converted` to the number of
// input units consumed; the output string is appended to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "zavToolsLib/ConvertUTF.h"

namespace zavToolsLib {

// Selects the lenient overload.
struct zavLenient_t {};
inline constexpr zavLenient_t zavLenient{};

template <typename CharT>
class zavUnicode;

namespace detail {

// The shared body: String is the wide or 16-bit string type.
template <typename String>
class zavUnicodeBase {
public:
    using Unit = typename String::value_type;

    virtual ~zavUnicodeBase() = default;

    virtual uint32_t ToUtf8(const Unit* src, std::size_t count, std::string& dst,
                            std::size_t& converted) const {
        return Encode(src, count, dst, converted, false);
    }
    virtual uint32_t ToUtf8(const Unit* src, std::size_t count, std::string& dst,
                            std::size_t& converted, zavLenient_t) const {
        return Encode(src, count, dst, converted, true);
    }
    virtual uint32_t FromUtf8(const char* src, std::size_t count, String& dst,
                              std::size_t& converted) const {
        return Decode(src, count, dst, converted, false);
    }
    virtual uint32_t FromUtf8(const char* src, std::size_t count, String& dst,
                              std::size_t& converted, zavLenient_t) const {
        return Decode(src, count, dst, converted, true);
    }

private:
    static uint32_t Encode(const Unit* src, std::size_t count, std::string& dst,
                           std::size_t& converted, bool lenient) {
        const Unit* p = src;
        uint32_t result;
        if constexpr (sizeof(Unit) == sizeof(wchar_t)) {
            result = Utf32ToUtf8(p, src + count, dst, lenient);
        } else {
            result = Utf16ToUtf8(p, src + count, dst, lenient);
        }
        converted = static_cast<std::size_t>(p - src);
        return result;
    }

    // One UTF-8 byte never yields more than one output unit, so growing by the byte count
    // first is always enough; the string is cut to what was decoded afterwards.
    static uint32_t Decode(const char* src, std::size_t count, String& dst, std::size_t& converted,
                           bool lenient) {
        const std::size_t start = dst.size();
        dst.resize(start + count);
        Unit* out = &dst[0] + start;
        const char* p = src;
        uint32_t result;
        if constexpr (sizeof(Unit) == sizeof(wchar_t)) {
            result = Utf8ToUtf32(p, src + count, out, out + count, lenient);
        } else {
            result = Utf8ToUtf16(p, src + count, out, out + count, lenient);
        }
        dst.resize(static_cast<std::size_t>(out - dst.data()));
        converted = static_cast<std::size_t>(p - src);
        return result;
    }
};

}  // namespace detail

template <>
class zavUnicode<wchar_t> : public detail::zavUnicodeBase<std::wstring> {};

template <>
class zavUnicode<unsigned short> : public detail::zavUnicodeBase<std::u16string> {};

}  // namespace zavToolsLib
