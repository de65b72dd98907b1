// The UTF conversions against glibc's iconv, for the tests and the fuzz target alike. iconv knows
// well-formed Unicode; what it does not know (result codes, U+FFFD, the refused noncharacters,
// the long UTF-8 forms above U+10FFFF) the models add from the documented rules. Assumes a
// little-endian host.
#pragma once

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "zavToolsLib/ConvertUTF.h"
#include "zavToolsLib/zavStatus.h"

namespace utfModel {

using namespace zavToolsLib;

// Converts as far as iconv can; err is 0, EILSEQ or EINVAL.
inline std::string Conv(const char* to, const char* from, const std::string& in,
                        int* err = nullptr) {
    const std::unique_ptr<void, int (*)(iconv_t)> cd(iconv_open(to, from), iconv_close);
    std::string out(in.size() * 4 + 8, '\0');
    char *src = const_cast<char*>(in.data()), *dst = out.data();
    size_t srcLeft = in.size(), dstLeft = out.size();
    const size_t r = iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft);
    if (err != nullptr) *err = r == static_cast<size_t>(-1) ? errno : 0;
    return out.substr(0, out.size() - dstLeft);
}

template <typename S>
std::string Bytes(const S& s) {
    return {reinterpret_cast<const char*>(s.data()), s.size() * sizeof(s[0])};
}
inline std::string Le32(uint32_t c) { return Bytes(std::u32string(1, c)); }
inline bool IsNonChar(uint32_t c) { return c == 0xFFFE || c == 0xFFFF; }
inline bool IsLow(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// c in n bytes: overlong when c needs fewer, the long forms above U+10FFFF that iconv refuses.
inline std::string Utf8Form(uint32_t c, int n) {
    if (n == 1) return std::string(1, static_cast<char>(c));
    std::string s(n, '\0');
    for (int i = n - 1; i > 0; --i, c >>= 6) s[i] = static_cast<char>(0x80 | (c & 0x3F));
    s[0] = static_cast<char>((0xFF00 >> n) | c);
    return s;
}
inline int Utf8Length(uint32_t c) {
    int n = 1;
    for (const uint32_t limit : {0x80u, 0x800u, 0x10000u, 0x200000u, 0x4000000u}) n += c >= limit;
    return n;
}

struct Result {
    uint32_t code = 0;
    size_t pos = 0;     // input units consumed
    std::string bytes;  // output as bytes
};

enum class To { Utf8String, Utf8Buffer, Utf16 };

// Encoding from UTF-32, element by element; iconv writes the valid ones.
inline Result ModelFromUtf32(const std::wstring& in, To to, bool lenient) {
    Result e;
    for (size_t i = 0; i < in.size();) {
        const auto c = static_cast<uint32_t>(in[i]);
        int err = 0;
        const std::string out =
            Conv(to == To::Utf16 ? "UTF-16LE" : "UTF-8", "UTF-32LE", Le32(c), &err);
        uint32_t bad = to == To::Utf16 ? ZAV_E_UTF16_RANGE : ZAV_E_BAD_CODE_POINT;
        size_t length = 1;
        bool quiet = false;  // the string form replaces a lone low surrogate silently
        if (err == 0 && !IsNonChar(c)) {
            e.bytes += out, ++i;
            continue;
        } else if (err == 0) {
            bad = ZAV_E_NONCHARACTER;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            bad = ZAV_E_BAD_CODE_POINT;
            const bool pairs = to == To::Utf8String;
            quiet = pairs && IsLow(c);
            if (pairs && !IsLow(c) && i + 1 < in.size() && IsLow(in[i + 1])) length = 2;
        } else if (to != To::Utf16 && c <= 0x7FFFFFFF) {
            e.bytes += Utf8Form(c, Utf8Length(c)), ++i;
            continue;
        }
        if (!lenient) return e.pos = i, e.code = bad, e;
        e.bytes += to == To::Utf16 ? std::string("\xFD\xFF") : "\xEF\xBF\xBD";
        e.code = quiet ? e.code : bad;
        i += length;
    }
    e.pos = in.size();
    return e;
}

// Decoding UTF-8 or UTF-16LE into UTF-32LE bytes: iconv converts each valid stretch; where it
// stops, the documented rules say what happens.
inline Result ModelDecode(const std::string& in, bool utf8, bool lenient, bool copyNonChar) {
    const char* from = utf8 ? "UTF-8" : "UTF-16LE";
    const size_t unit = utf8 ? 1 : 2, n = in.size() / unit;
    auto at = [&](size_t i) {
        uint32_t u = 0;
        memcpy(&u, &in[i * unit], unit);
        return u;
    };
    Result e;
    for (size_t i = 0;;) {
        int err = 0;
        const std::string valid = Conv("UTF-32LE", from, in.substr(i * unit), &err);
        for (size_t k = 0; k < valid.size(); k += 4) {
            uint32_t c;
            memcpy(&c, &valid[k], 4);
            if (IsNonChar(c) && !lenient) return e.pos = i, e.code = ZAV_E_NONCHARACTER, e;
            if (IsNonChar(c)) e.code = ZAV_E_NONCHARACTER;
            i += Conv(from, "UTF-32LE", Le32(c)).size() / unit;
            e.bytes += Le32(IsNonChar(c) && !copyNonChar ? 0xFFFD : c);
        }
        if (err == 0) return e.pos = n, e;
        // The sequence iconv stopped at: its length by the lead byte's leading one bits.
        size_t length = 1;
        if (utf8) {
            for (uint32_t b = at(i); (b & 0xC0) == 0xC0 && length < 6; b <<= 1) ++length;
        } else if (at(i) >= 0xD800 && at(i) <= 0xDBFF) {
            length = 2;
        }
        if (i + length > n) return e.pos = i, e.code = ZAV_E_TRUNCATED_INPUT, e;
        // iconv saw an incomplete sequence inside the input: the model is wrong, say so.
        if (err == EINVAL) return e.code = ~0u, e;
        const bool surrogate = utf8 && length == 3 && at(i) == 0xED && at(i + 1) >= 0xA0 &&
                               at(i + 1) <= 0xBF && (at(i + 2) & 0xC0) == 0x80;
        e.code = !utf8       ? ZAV_E_UNPAIRED_SURROGATE
                 : surrogate ? ZAV_E_UTF8_SURROGATE
                             : ZAV_E_ILL_FORMED_UTF8;
        if (!lenient) return e.pos = i, e;
        e.bytes += Le32(0xFFFD);
        i += utf8 ? length : 1;
    }
}

// Picks the form of an overloaded conversion by its arguments.
#define ZAV_UTF_FORM(f) [](auto&&... a) { return f(a...); }

// The string form, appending to what the string holds.
template <typename Out, typename In, typename F>
Result String(F f, const std::basic_string<In>& in, bool lenient) {
    const In* p = in.data();
    std::basic_string<Out> out(1, Out{1});
    const uint32_t rc = f(p, p + in.size(), out, lenient);
    return {rc, static_cast<size_t>(p - in.data()), Bytes(out.substr(1))};
}

template <typename Out, typename In, typename F>
Result Buffer(F f, const std::basic_string<In>& in, bool lenient) {
    std::vector<Out> buf(in.size() * 6);
    const In* p = in.data();
    Out* o = buf.data();
    const uint32_t rc = f(p, p + in.size(), o, buf.data() + buf.size(), lenient);
    return {rc, static_cast<size_t>(p - in.data()), Bytes(std::basic_string<Out>(buf.data(), o))};
}

// The buffer form given `room` units again and again writes what the string form writes. Only
// a character that needs more room than that may stop it, and what it wrote is then the start of
// the text. Lenient calls remember only their own replacements, so only strict statuses compare.
template <typename Out, typename In, typename F>
bool ChunksAgree(F convert, const std::basic_string<In>& in, size_t room, bool lenient) {
    const In *const end = in.data() + in.size(), *src = in.data();
    std::basic_string<Out> whole, chunked;
    const uint32_t status = convert(src, end, whole, lenient);
    std::vector<Out> buffer(room + 8);  // slack, so that writing past the room is only reported
    uint32_t rc = ZAV_E_BUFFER_FULL;
    for (const In *p = in.data(), *before = nullptr; rc == ZAV_E_BUFFER_FULL && p != before;) {
        before = p;
        Out* dst = buffer.data();
        rc = convert(p, end, dst, buffer.data() + room, lenient);
        if (p < before || p > end || dst > buffer.data() + room) return false;
        if (p == before && dst != buffer.data() && rc == ZAV_E_BUFFER_FULL) return false;
        chunked.append(buffer.data(), dst);
    }
    if (rc == ZAV_E_BUFFER_FULL) return room < 6 && whole.compare(0, chunked.size(), chunked) == 0;
    return chunked == whole && (lenient || rc == status);
}

// Every direction against the models, strict and lenient, and the helpers, which are the lenient
// string forms with one U+FFFD for a cut-off end. Returns one line per difference.
inline std::string Mismatches(const std::wstring& in, const std::string& in8,
                              const std::u16string& in16) {
    std::string out;
    const char* mode = "";
    const auto show = [](const Result& r) {
        std::string s = " code " + std::to_string(r.code) + " pos " + std::to_string(r.pos);
        for (const unsigned char b : r.bytes) s += " " + std::to_string(b);
        return s;
    };
    const auto check = [&](const char* what, const Result& want, const Result& got) {
        if (want.code != got.code || want.pos != got.pos || want.bytes != got.bytes)
            out += mode + (what + (": want" + show(want) + ", got" + show(got) + "\n"));
    };
    const auto helper = [&](const char* what, Result want, const std::string& got,
                            const std::string& replacement) {
        if (want.code == ZAV_E_TRUNCATED_INPUT) want.bytes += replacement;
        check(what, {0, 0, want.bytes}, {0, 0, got});
    };
    for (bool lenient : {false, true}) {
        mode = lenient ? "lenient " : "strict ";
        const Result to8 = ModelFromUtf32(in, To::Utf8String, lenient);
        check("32->8", to8, String<char>(ZAV_UTF_FORM(Utf32ToUtf8), in, lenient));
        check("32->8 buffer", ModelFromUtf32(in, To::Utf8Buffer, lenient),
              Buffer<char>(ZAV_UTF_FORM(Utf32ToUtf8), in, lenient));
        const Result to16 = ModelFromUtf32(in, To::Utf16, lenient);
        check("32->16", to16, String<char16_t>(ZAV_UTF_FORM(Utf32ToUtf16), in, lenient));
        Result want = ModelDecode(in8, true, lenient, false);
        check("8->32", want, String<wchar_t>(ZAV_UTF_FORM(Utf8ToUtf32), in8, lenient));
        check("8->32 buffer", want, Buffer<wchar_t>(ZAV_UTF_FORM(Utf8ToUtf32), in8, lenient));
        if (lenient) helper("FromUtf8", want, Bytes(FromUtf8(in8)), Le32(0xFFFD));
        want.bytes = Conv("UTF-16LE", "UTF-32LE", want.bytes);
        check("8->16", want, String<char16_t>(ZAV_UTF_FORM(Utf8ToUtf16), in8, lenient));
        if (lenient) helper("ToUtf16(utf8)", want, Bytes(ToUtf16(in8)), "\xFD\xFF");
        want = ModelDecode(Bytes(in16), false, lenient, true);
        check("16->32", want, String<wchar_t>(ZAV_UTF_FORM(Utf16ToUtf32), in16, lenient));
        if (lenient) helper("FromUtf16", want, Bytes(FromUtf16(in16)), Le32(0xFFFD));
        want = ModelDecode(Bytes(in16), false, lenient, false);
        want.bytes = Conv("UTF-8", "UTF-32LE", want.bytes);
        check("16->8", want, String<char>(ZAV_UTF_FORM(Utf16ToUtf8), in16, lenient));
        if (!lenient) continue;
        helper("ToUtf8(utf16)", want, ToUtf8(in16), "\xEF\xBF\xBD");
        helper("ToUtf8(wide)", to8, ToUtf8(in), "");
        helper("ToUtf16(wide)", to16, Bytes(ToUtf16(in)), "");
    }
    return out;
}

}  // namespace utfModel
