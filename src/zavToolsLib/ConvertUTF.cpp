#include "zavToolsLib/ConvertUTF.h"

#include <stdexcept>
#include <type_traits>

#include "zavToolsLib/zavStatus.h"

namespace zavToolsLib {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;

bool IsSurrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
bool IsHighSurrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool IsNonCharacter(uint32_t c) { return c == 0xFFFE || c == 0xFFFF; }

// A wchar_t is a whole code point, not a byte: its bits read unsigned, so that a negative one
// lands above 0x7FFFFFFF and is rejected.
uint32_t CodePoint(wchar_t c) { return static_cast<std::make_unsigned_t<wchar_t>>(c); }

// Output targets. A buffer refuses what does not fit; a string takes everything.
// Copy writes units that convert one to one (a run of ASCII, say) in one go and returns how many
// fitted.
template <typename Unit>
struct BufferSink {
    Unit*& p;
    Unit* end;
    bool Room(std::size_t n) const { return static_cast<std::size_t>(end - p) >= n; }
    void Put(Unit u) { *p++ = u; }
    template <typename In>
    std::size_t Copy(const In* src, std::size_t n) {
        if (n > static_cast<std::size_t>(end - p)) n = static_cast<std::size_t>(end - p);
        for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<Unit>(src[i]);
        p += n;
        return n;
    }
};

template <typename Str>
struct StringSink {
    Str& s;
    static bool Room(std::size_t) { return true; }
    void Put(typename Str::value_type u) { s.push_back(u); }
    template <typename In>
    std::size_t Copy(const In* src, std::size_t n) {
        const std::size_t at = s.size();
        s.resize(at + n);
        auto* out = &s[at];
        for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<typename Str::value_type>(src[i]);
        return n;
    }
};

// The end of the run of units from src that stay as they are in the output (all below limit).
template <typename In>
const In* PlainRun(const In* src, const In* end, uint32_t limit) {
    while (src < end &&
           static_cast<uint32_t>(static_cast<std::make_unsigned_t<In>>(*src)) < limit) {
        ++src;
    }
    return src;
}

// Writes c in UTF-8; values beyond U+10FFFF get the long 4- to 6-byte forms.
// c must be non-negative as a signed 32-bit value.
template <typename Sink>
bool PutUtf8(Sink& out, uint32_t c) {
    static const unsigned char kLeadMark[7] = {0, 0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
    const int n = c < 0x80         ? 1
                  : c < 0x800      ? 2
                  : c < 0x10000    ? 3
                  : c <= 0x1FFFFF  ? 4
                  : c <= 0x3FFFFFF ? 5
                                   : 6;
    if (!out.Room(n)) {
        return false;
    }
    unsigned char bytes[6];
    for (int i = n - 1; i > 0; --i) {
        bytes[i] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        c >>= 6;
    }
    bytes[0] = static_cast<unsigned char>(kLeadMark[n] | c);
    for (int i = 0; i < n; ++i) {
        out.Put(static_cast<char>(bytes[i]));
    }
    return true;
}

// Writes c (at most U+10FFFF) as one unit or a surrogate pair.
template <typename Sink>
bool PutUtf16(Sink& out, uint32_t c) {
    if (c < 0x10000) {
        if (!out.Room(1)) {
            return false;
        }
        out.Put(static_cast<char16_t>(c));
        return true;
    }
    if (!out.Room(2)) {
        return false;
    }
    out.Put(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
    out.Put(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    return true;
}

template <typename Sink>
bool PutUtf32(Sink& out, uint32_t c) {
    if (!out.Room(1)) {
        return false;
    }
    out.Put(static_cast<wchar_t>(c));
    return true;
}

// One decoded sequence: its status (0 or a result code), its value and its length in units.
struct Decoded {
    uint32_t status;
    uint32_t value;
    std::size_t length;
};

int Utf8SequenceLength(unsigned char lead) {
    return lead < 0xC0   ? 1
           : lead < 0xE0 ? 2
           : lead < 0xF0 ? 3
           : lead < 0xF8 ? 4
           : lead < 0xFC ? 5
                         : 6;
}

Decoded DecodeUtf8(const char* src, const char* end) {
    const auto* p = reinterpret_cast<const unsigned char*>(src);
    const int n = Utf8SequenceLength(p[0]);
    if (end - src < n) {
        return {ZAV_E_TRUNCATED_INPUT, 0, 0};
    }
    const Decoded illFormed{ZAV_E_ILL_FORMED_UTF8, kReplacement, static_cast<std::size_t>(n)};
    if (n == 1) {
        return p[0] < 0x80 ? Decoded{0, p[0], 1} : illFormed;
    }
    if (n > 4 || p[0] < 0xC2 || p[0] > 0xF4) {
        return illFormed;
    }
    for (int i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) {
            return illFormed;
        }
    }
    // Overlong and out-of-range forms show in the second byte. ED A0..BF is let through so that
    // it is reported as the surrogate it encodes.
    if ((p[0] == 0xE0 && p[1] < 0xA0) || (p[0] == 0xF0 && p[1] < 0x90) ||
        (p[0] == 0xF4 && p[1] > 0x8F)) {
        return illFormed;
    }
    uint32_t c = p[0] & (0x7F >> n);
    for (int i = 1; i < n; ++i) {
        c = (c << 6) | (p[i] & 0x3F);
    }
    if (IsSurrogate(c)) {
        return {ZAV_E_UTF8_SURROGATE, kReplacement, static_cast<std::size_t>(n)};
    }
    if (IsNonCharacter(c)) {
        return {ZAV_E_NONCHARACTER, kReplacement, static_cast<std::size_t>(n)};
    }
    return {0, c, static_cast<std::size_t>(n)};
}

// copyNonCharacter: lenient replacement of U+FFFE/U+FFFF is the unit itself (UTF-16 -> UTF-32).
Decoded DecodeUtf16(const char16_t* src, const char16_t* end, bool copyNonCharacter) {
    const uint32_t u = src[0];
    if (IsHighSurrogate(u)) {
        if (end - src < 2) {
            return {ZAV_E_TRUNCATED_INPUT, 0, 0};
        }
        const uint32_t low = src[1];
        if (IsLowSurrogate(low)) {
            return {0, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), 2};
        }
        return {ZAV_E_UNPAIRED_SURROGATE, kReplacement, 1};
    }
    if (IsLowSurrogate(u)) {
        return {ZAV_E_UNPAIRED_SURROGATE, kReplacement, 1};
    }
    if (IsNonCharacter(u)) {
        return {ZAV_E_NONCHARACTER, copyNonCharacter ? u : kReplacement, 1};
    }
    return {0, u, 1};
}

// The loop shared by every direction that decodes UTF-8 or UTF-16. Units below plainLimit are
// copied as runs without decoding.
template <typename In, typename Decode, typename Sink, typename Put>
uint32_t Convert(const In*& src, const In* end, Sink out, bool lenient, Decode decode, Put put,
                 uint32_t plainLimit) {
    uint32_t result = 0;
    while (src < end) {
        if (const In* run = PlainRun(src, end, plainLimit); run != src) {
            src += out.Copy(src, static_cast<std::size_t>(run - src));
            if (src != run) return ZAV_E_BUFFER_FULL;
            continue;
        }
        const Decoded d = decode(src, end);
        if (d.status == ZAV_E_TRUNCATED_INPUT || (d.status != 0 && !lenient)) {
            return d.status;
        }
        if (!put(out, d.value)) {
            return ZAV_E_BUFFER_FULL;
        }
        if (d.status != 0) {
            result = d.status;
        }
        src += d.length;
    }
    return result;
}

template <typename Sink>
uint32_t FromUtf8Impl(const char*& src, const char* end, Sink out, bool lenient,
                      bool (*put)(Sink&, uint32_t)) {
    return Convert(src, end, out, lenient, DecodeUtf8, put, 0x80);
}

// plainLimit: 0x80 towards UTF-8; below the surrogates every unit is its own code point.
template <typename Sink>
uint32_t FromUtf16Impl(const char16_t*& src, const char16_t* end, Sink out, bool lenient,
                       bool copyNonCharacter, bool (*put)(Sink&, uint32_t), uint32_t plainLimit) {
    auto decode = [copyNonCharacter](const char16_t* p, const char16_t* e) {
        return DecodeUtf16(p, e, copyNonCharacter);
    };
    return Convert(src, end, out, lenient, decode, put, plainLimit);
}

// UTF-32 -> UTF-8. pairSurrogates selects the string form's surrogate rules.
template <typename Sink>
uint32_t Utf32ToUtf8Impl(const wchar_t*& src, const wchar_t* end, Sink out, bool lenient,
                         bool pairSurrogates) {
    uint32_t result = 0;
    while (src < end) {
        if (const wchar_t* run = PlainRun(src, end, 0x80); run != src) {
            src += out.Copy(src, static_cast<std::size_t>(run - src));
            if (src != run) return ZAV_E_BUFFER_FULL;
            continue;
        }
        const uint32_t c = CodePoint(src[0]);
        std::size_t length = 1;
        uint32_t status = 0;
        if (c > 0x7FFFFFFF) {
            status = ZAV_E_BAD_CODE_POINT;
        } else if (IsNonCharacter(c)) {
            status = ZAV_E_NONCHARACTER;
        } else if (IsSurrogate(c)) {
            status = ZAV_E_BAD_CODE_POINT;
            if (pairSurrogates && IsHighSurrogate(c)) {
                if (end - src > 1 && IsLowSurrogate(CodePoint(src[1]))) {
                    length = 2;
                }
            }
        }
        if (status != 0 && !lenient) {
            return status;
        }
        if (!PutUtf8(out, status != 0 ? kReplacement : c)) {
            return ZAV_E_BUFFER_FULL;
        }
        // A lone low surrogate is replaced quietly in the string form.
        if (status != 0 && !(pairSurrogates && IsLowSurrogate(c))) {
            result = status;
        }
        src += length;
    }
    return result;
}

template <typename Sink>
uint32_t Utf32ToUtf16Impl(const wchar_t*& src, const wchar_t* end, Sink out, bool lenient) {
    uint32_t result = 0;
    while (src < end) {
        if (const wchar_t* run = PlainRun(src, end, 0xD800); run != src) {
            src += out.Copy(src, static_cast<std::size_t>(run - src));
            if (src != run) return ZAV_E_BUFFER_FULL;
            continue;
        }
        const uint32_t c = CodePoint(src[0]);
        const uint32_t status = c > 0x10FFFF        ? ZAV_E_UTF16_RANGE
                                : IsSurrogate(c)    ? ZAV_E_BAD_CODE_POINT
                                : IsNonCharacter(c) ? ZAV_E_NONCHARACTER
                                                    : 0;
        if (status != 0 && !lenient) {
            return status;
        }
        if (!PutUtf16(out, status != 0 ? kReplacement : c)) {
            return ZAV_E_BUFFER_FULL;
        }
        if (status != 0) {
            result = status;
        }
        ++src;
    }
    return result;
}

// Runs a range form over a whole text and reports how far it got.
template <typename Unit, typename Fn>
uint32_t Whole(const Unit* begin, std::size_t size, std::size_t* consumed, Fn fn) {
    const Unit* p = begin;
    const uint32_t result = fn(p, begin + size);
    if (consumed != nullptr) {
        *consumed = static_cast<std::size_t>(p - begin);
    }
    return result;
}

std::size_t Length16(const char16_t* text) {
    return text == nullptr ? 0 : std::char_traits<char16_t>::length(text);
}

}  // namespace

// ---- UTF-32 -> UTF-8 ---------------------------------------------------------------------------

uint32_t Utf32ToUtf8(const wchar_t*& src, const wchar_t* srcEnd, std::string& dst, bool lenient) {
    return Utf32ToUtf8Impl(src, srcEnd, StringSink<std::string>{dst}, lenient, true);
}

uint32_t Utf32ToUtf8(const wchar_t*& src, const wchar_t* srcEnd, char*& dst, char* dstEnd,
                     bool lenient) {
    return Utf32ToUtf8Impl(src, srcEnd, BufferSink<char>{dst, dstEnd}, lenient, false);
}

uint32_t Utf32ToUtf8(std::wstring_view src, std::string& dst, bool lenient, std::size_t* consumed) {
    return Whole(src.data(), src.size(), consumed, [&](const wchar_t*& p, const wchar_t* e) {
        return Utf32ToUtf8(p, e, dst, lenient);
    });
}

// ---- UTF-8 -> UTF-32 ---------------------------------------------------------------------------

uint32_t Utf8ToUtf32(const char*& src, const char* srcEnd, std::wstring& dst, bool lenient) {
    return FromUtf8Impl(src, srcEnd, StringSink<std::wstring>{dst}, lenient,
                        PutUtf32<StringSink<std::wstring>>);
}

uint32_t Utf8ToUtf32(const char*& src, const char* srcEnd, wchar_t*& dst, wchar_t* dstEnd,
                     bool lenient) {
    return FromUtf8Impl(src, srcEnd, BufferSink<wchar_t>{dst, dstEnd}, lenient,
                        PutUtf32<BufferSink<wchar_t>>);
}

uint32_t Utf8ToUtf32(std::string_view src, std::wstring& dst, bool lenient, std::size_t* consumed) {
    return Whole(src.data(), src.size(), consumed,
                 [&](const char*& p, const char* e) { return Utf8ToUtf32(p, e, dst, lenient); });
}

// ---- UTF-32 -> UTF-16 --------------------------------------------------------------------------

uint32_t Utf32ToUtf16(const wchar_t*& src, const wchar_t* srcEnd, std::u16string& dst,
                      bool lenient) {
    return Utf32ToUtf16Impl(src, srcEnd, StringSink<std::u16string>{dst}, lenient);
}

uint32_t Utf32ToUtf16(const wchar_t*& src, const wchar_t* srcEnd, char16_t*& dst, char16_t* dstEnd,
                      bool lenient) {
    return Utf32ToUtf16Impl(src, srcEnd, BufferSink<char16_t>{dst, dstEnd}, lenient);
}

uint32_t Utf32ToUtf16(std::wstring_view src, std::u16string& dst, bool lenient,
                      std::size_t* consumed) {
    return Whole(src.data(), src.size(), consumed, [&](const wchar_t*& p, const wchar_t* e) {
        return Utf32ToUtf16(p, e, dst, lenient);
    });
}

// ---- UTF-16 -> UTF-32 --------------------------------------------------------------------------

uint32_t Utf16ToUtf32(const char16_t*& src, const char16_t* srcEnd, std::wstring& dst,
                      bool lenient) {
    return FromUtf16Impl(src, srcEnd, StringSink<std::wstring>{dst}, lenient, true,
                         PutUtf32<StringSink<std::wstring>>, 0xD800);
}

uint32_t Utf16ToUtf32(const char16_t*& src, const char16_t* srcEnd, wchar_t*& dst, wchar_t* dstEnd,
                      bool lenient) {
    return FromUtf16Impl(src, srcEnd, BufferSink<wchar_t>{dst, dstEnd}, lenient, true,
                         PutUtf32<BufferSink<wchar_t>>, 0xD800);
}

uint32_t Utf16ToUtf32(std::u16string_view src, std::wstring& dst, bool lenient,
                      std::size_t* consumed) {
    return Whole(src.data(), src.size(), consumed, [&](const char16_t*& p, const char16_t* e) {
        return Utf16ToUtf32(p, e, dst, lenient);
    });
}

uint32_t Utf16ToUtf32(const char16_t* src, std::wstring& dst, bool lenient, std::size_t* consumed) {
    return Utf16ToUtf32(std::u16string_view(src, Length16(src)), dst, lenient, consumed);
}

// ---- UTF-16 -> UTF-8 ---------------------------------------------------------------------------

uint32_t Utf16ToUtf8(const char16_t*& src, const char16_t* srcEnd, std::string& dst, bool lenient) {
    return FromUtf16Impl(src, srcEnd, StringSink<std::string>{dst}, lenient, false,
                         PutUtf8<StringSink<std::string>>, 0x80);
}

uint32_t Utf16ToUtf8(const char16_t*& src, const char16_t* srcEnd, char*& dst, char* dstEnd,
                     bool lenient) {
    return FromUtf16Impl(src, srcEnd, BufferSink<char>{dst, dstEnd}, lenient, false,
                         PutUtf8<BufferSink<char>>, 0x80);
}

uint32_t Utf16ToUtf8(std::u16string_view src, std::string& dst, bool lenient,
                     std::size_t* consumed) {
    return Whole(src.data(), src.size(), consumed, [&](const char16_t*& p, const char16_t* e) {
        return Utf16ToUtf8(p, e, dst, lenient);
    });
}

uint32_t Utf16ToUtf8(const char16_t* src, std::string& dst, bool lenient, std::size_t* consumed) {
    return Utf16ToUtf8(std::u16string_view(src, Length16(src)), dst, lenient, consumed);
}

// ---- UTF-8 -> UTF-16 ---------------------------------------------------------------------------

uint32_t Utf8ToUtf16(const char*& src, const char* srcEnd, std::u16string& dst, bool lenient) {
    return FromUtf8Impl(src, srcEnd, StringSink<std::u16string>{dst}, lenient,
                        PutUtf16<StringSink<std::u16string>>);
}

uint32_t Utf8ToUtf16(const char*& src, const char* srcEnd, char16_t*& dst, char16_t* dstEnd,
                     bool lenient) {
    return FromUtf8Impl(src, srcEnd, BufferSink<char16_t>{dst, dstEnd}, lenient,
                        PutUtf16<BufferSink<char16_t>>);
}

uint32_t Utf8ToUtf16(std::string_view src, std::u16string& dst, bool lenient,
                     std::size_t* consumed) {
    return Whole(src.data(), src.size(), consumed,
                 [&](const char*& p, const char* e) { return Utf8ToUtf16(p, e, dst, lenient); });
}

// ---- Everyday helpers ---------------------------------------------------------------------------
// Lenient conversions stop only at an incomplete final sequence; it becomes one U+FFFD.

std::string ToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    Utf32ToUtf8(text, out, true);
    return out;
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    if (Utf16ToUtf8(text, out, true) == ZAV_E_TRUNCATED_INPUT) {
        out += "\xEF\xBF\xBD";
    }
    return out;
}

std::string ToUtf8(const char16_t* text) {
    return ToUtf8(std::u16string_view(text, Length16(text)));
}

std::wstring FromUtf8(const char* text) {
    if (text == nullptr) {
        throw std::invalid_argument("NULL UTF-8 text");
    }
    return FromUtf8(std::string_view(text));
}

std::wstring FromUtf8(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    if (Utf8ToUtf32(text, out, true) == ZAV_E_TRUNCATED_INPUT) {
        out.push_back(static_cast<wchar_t>(kReplacement));
    }
    return out;
}

std::wstring FromUtf16(const char16_t* text) {
    return FromUtf16(std::u16string_view(text, Length16(text)));
}

std::wstring FromUtf16(std::u16string_view text) {
    std::wstring out;
    out.reserve(text.size());
    if (Utf16ToUtf32(text, out, true) == ZAV_E_TRUNCATED_INPUT) {
        out.push_back(static_cast<wchar_t>(kReplacement));
    }
    return out;
}

std::u16string ToUtf16(std::wstring_view text) {
    std::u16string out;
    out.reserve(text.size());
    Utf32ToUtf16(text, out, true);
    return out;
}

std::u16string ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    if (Utf8ToUtf16(utf8, out, true) == ZAV_E_TRUNCATED_INPUT) {
        out.push_back(static_cast<char16_t>(kReplacement));
    }
    return out;
}

}  // namespace zavToolsLib
