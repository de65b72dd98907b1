// Conversion between the library's three text forms: wide strings holding one code point per
// wchar_t ("UTF-32"), the XML parser's 16-bit strings (UTF-16, char16_t, which is Xerces' XMLCh)
// and narrow UTF-8 byte strings.
//
// Every conversion returns a result code from zavStatus.h (0 when all input was converted):
//   ZAV_E_BUFFER_FULL         output buffer too small; stopped before the character that did not
//   fit ZAV_E_NONCHARACTER        U+FFFE or U+FFFF in the input ZAV_E_UTF16_RANGE         a UTF-32
//   value above U+10FFFF (or negative) cannot become UTF-16 ZAV_E_UNPAIRED_SURROGATE  a UTF-16
//   surrogate without its partner ZAV_E_ILL_FORMED_UTF8     an ill-formed UTF-8 sequence
//   ZAV_E_UTF8_SURROGATE      a UTF-8 sequence ED A0..BF xx that encodes a surrogate
//   ZAV_E_TRUNCATED_INPUT     the input ends inside a sequence; stopped before it (both modes)
//   ZAV_E_BAD_CODE_POINT      a UTF-32 value that is a surrogate or negative
//
// Strict mode stops at the first bad character and returns its code. Lenient mode writes U+FFFD
// (in the output's encoding) instead, remembers the code and goes on; it returns the last code
// remembered. Exceptions to that rule are noted per function.
//
// Forms. Range forms take `src` by reference and leave it at the position reached, so a caller
// can resume; the number written is how far `dst` advanced (buffer forms) or how much the string
// grew (string forms, which append). Whole-text forms take a view or a NUL-terminated pointer
// and report the units consumed through `consumed` when it is not null.
//
// UTF-8 decoding (Utf8ToUtf32, Utf8ToUtf16): the lead byte decides the sequence length
// (1 for 00..BF, 2 for C0..DF, 3 for E0..EF, 4 for F0..F7, 5 for F8..FB, 6 for FC..FF). A
// sequence that would run past the input's end gives ZAV_E_TRUNCATED_INPUT. A sequence that is
// not well formed (lead C2..F4, E0 -> A0.., F0 -> 90.., F4 -> ..8F, continuation bytes 80..BF, at
// most four bytes) is ZAV_E_ILL_FORMED_UTF8; in lenient mode one U+FFFD replaces the whole
// sequence of that length. ED A0..BF xx is not reported as ill formed but as the surrogate it
// encodes (ZAV_E_UTF8_SURROGATE). U+FFFE/U+FFFF give ZAV_E_NONCHARACTER (lenient: U+FFFD).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zavToolsLib {

// ---- UTF-32 -> UTF-8 ---------------------------------------------------------------------------
// Values above U+10FFFF are written in the long 4- to 6-byte forms, not rejected. Negative values
// and U+FFFE/U+FFFF are rejected. String form: a high surrogate gives ZAV_E_BAD_CODE_POINT and in
// lenient mode swallows a directly following low surrogate (one EF BF BD for the pair); a lone low
// surrogate stops a strict conversion and in lenient mode becomes EF BF BD without changing the
// result code. Buffer form (used by the stream facet): every surrogate is ZAV_E_BAD_CODE_POINT,
// pairs are not combined.
uint32_t Utf32ToUtf8(const wchar_t*& src, const wchar_t* srcEnd, std::string& dst, bool lenient);
uint32_t Utf32ToUtf8(const wchar_t*& src, const wchar_t* srcEnd, char*& dst, char* dstEnd,
                     bool lenient);
uint32_t Utf32ToUtf8(std::wstring_view src, std::string& dst, bool lenient,
                     std::size_t* consumed = nullptr);

// ---- UTF-8 -> UTF-32 ---------------------------------------------------------------------------
uint32_t Utf8ToUtf32(const char*& src, const char* srcEnd, std::wstring& dst, bool lenient);
uint32_t Utf8ToUtf32(const char*& src, const char* srcEnd, wchar_t*& dst, wchar_t* dstEnd,
                     bool lenient);
uint32_t Utf8ToUtf32(std::string_view src, std::wstring& dst, bool lenient,
                     std::size_t* consumed = nullptr);

// ---- UTF-32 -> UTF-16 --------------------------------------------------------------------------
// Surrogates: ZAV_E_BAD_CODE_POINT; above U+10FFFF or negative: ZAV_E_UTF16_RANGE;
// U+FFFE/U+FFFF: ZAV_E_NONCHARACTER. Lenient mode writes U+FFFD for each.
uint32_t Utf32ToUtf16(const wchar_t*& src, const wchar_t* srcEnd, std::u16string& dst,
                      bool lenient);
uint32_t Utf32ToUtf16(const wchar_t*& src, const wchar_t* srcEnd, char16_t*& dst, char16_t* dstEnd,
                      bool lenient);
uint32_t Utf32ToUtf16(std::wstring_view src, std::u16string& dst, bool lenient,
                      std::size_t* consumed = nullptr);

// ---- UTF-16 -> UTF-32 --------------------------------------------------------------------------
// A high surrogate as the last unit: ZAV_E_TRUNCATED_INPUT (both modes). An unpaired surrogate:
// ZAV_E_UNPAIRED_SURROGATE (lenient: U+FFFD, the next unit is converted on its own).
// U+FFFE/U+FFFF: ZAV_E_NONCHARACTER; lenient mode copies the unit unchanged.
// The pointer form reads up to the NUL; a null pointer is an empty text.
uint32_t Utf16ToUtf32(const char16_t*& src, const char16_t* srcEnd, std::wstring& dst,
                      bool lenient);
uint32_t Utf16ToUtf32(const char16_t*& src, const char16_t* srcEnd, wchar_t*& dst, wchar_t* dstEnd,
                      bool lenient);
uint32_t Utf16ToUtf32(std::u16string_view src, std::wstring& dst, bool lenient,
                      std::size_t* consumed = nullptr);
uint32_t Utf16ToUtf32(const char16_t* src, std::wstring& dst, bool lenient,
                      std::size_t* consumed = nullptr);

// ---- UTF-16 -> UTF-8 ---------------------------------------------------------------------------
// Decodes as Utf16ToUtf32, encodes as Utf32ToUtf8, except that U+FFFE/U+FFFF become EF BF BD in
// lenient mode: no conversion in this library writes a noncharacter as UTF-8.
uint32_t Utf16ToUtf8(const char16_t*& src, const char16_t* srcEnd, std::string& dst, bool lenient);
uint32_t Utf16ToUtf8(const char16_t*& src, const char16_t* srcEnd, char*& dst, char* dstEnd,
                     bool lenient);
uint32_t Utf16ToUtf8(std::u16string_view src, std::string& dst, bool lenient,
                     std::size_t* consumed = nullptr);
uint32_t Utf16ToUtf8(const char16_t* src, std::string& dst, bool lenient,
                     std::size_t* consumed = nullptr);

// ---- UTF-8 -> UTF-16 ---------------------------------------------------------------------------
// Decodes as Utf8ToUtf32; supplementary characters become surrogate pairs.
uint32_t Utf8ToUtf16(const char*& src, const char* srcEnd, std::u16string& dst, bool lenient);
uint32_t Utf8ToUtf16(const char*& src, const char* srcEnd, char16_t*& dst, char16_t* dstEnd,
                     bool lenient);
uint32_t Utf8ToUtf16(std::string_view src, std::u16string& dst, bool lenient,
                     std::size_t* consumed = nullptr);

// ---- Everyday helpers ---------------------------------------------------------------------------
// All lenient and never failing: a bad character becomes U+FFFD, and an incomplete sequence at
// the end of the input becomes one U+FFFD as well.
std::string ToUtf8(std::wstring_view text);
std::string ToUtf8(std::u16string_view text);
std::string ToUtf8(const char16_t* text);  // null -> ""
// Throws std::invalid_argument for a null pointer: callers rely on a NULL text being refused.
std::wstring FromUtf8(const char* text);
std::wstring FromUtf8(std::string_view text);
std::wstring FromUtf16(const char16_t* text);  // null -> empty
std::wstring FromUtf16(std::u16string_view text);
std::u16string ToUtf16(std::wstring_view text);
std::u16string ToUtf16(std::string_view utf8);

}  // namespace zavToolsLib
