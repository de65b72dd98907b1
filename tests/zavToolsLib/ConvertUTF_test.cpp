// The conversions are checked against glibc's iconv. iconv knows well-formed Unicode; what it
// does not know (result codes, U+FFFD, the refused noncharacters, the long UTF-8 forms above
// U+10FFFF) the models add from the documented rules. Assumes a little-endian host.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "zavToolsLib/CZavCodecvt.h"
#include "zavToolsLib/ConvertUTF.h"
#include "zavToolsLib/zavStatus.h"
#include "zavToolsLib/zavUnicode.h"

using namespace zavToolsLib;

namespace {

// Converts as far as iconv can; err is 0, EILSEQ or EINVAL.
std::string Conv(const char* to, const char* from, const std::string& in, int* err = nullptr) {
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
std::string Le32(uint32_t c) { return Bytes(std::u32string(1, c)); }
bool IsNonChar(uint32_t c) { return c == 0xFFFE || c == 0xFFFF; }
bool IsLow(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// c in n bytes: overlong when c needs fewer, the long forms above U+10FFFF that iconv refuses.
std::string Utf8Form(uint32_t c, int n) {
    if (n == 1) return std::string(1, static_cast<char>(c));
    std::string s(n, '\0');
    for (int i = n - 1; i > 0; --i, c >>= 6) s[i] = static_cast<char>(0x80 | (c & 0x3F));
    s[0] = static_cast<char>((0xFF00 >> n) | c);
    return s;
}
int Utf8Length(uint32_t c) {
    return c < 0x80        ? 1
           : c < 0x800     ? 2
           : c < 0x10000   ? 3
           : c < 0x200000  ? 4
           : c < 0x4000000 ? 5
                           : 6;
}

struct Expect {
    std::string bytes;  // output as bytes
    size_t pos = 0;     // input units consumed
    uint32_t code = 0;
};

enum class To { Utf8String, Utf8Buffer, Utf16 };

// Encoding from UTF-32, element by element; iconv writes the valid ones.
Expect ModelFromUtf32(const std::wstring& in, To to, bool lenient) {
    Expect e;
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
Expect ModelDecode(const std::string& in, bool utf8, bool lenient, bool copyNonChar) {
    const char* from = utf8 ? "UTF-8" : "UTF-16LE";
    const size_t unit = utf8 ? 1 : 2, n = in.size() / unit;
    auto at = [&](size_t i) {
        uint32_t u = 0;
        memcpy(&u, &in[i * unit], unit);
        return u;
    };
    Expect e;
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
        EXPECT_NE(EINVAL, err) << "iconv sees an incomplete sequence inside the input";
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

// Valid ranges first; the bad ones are surrogates, noncharacters, beyond U+10FFFF, negative.
uint32_t RandomCodePoint(std::mt19937& rng, bool allowBad) {
    static const uint32_t kRanges[] = {0,      0x7F,     0x80,       0x7FF,      0x800,
                                       0xD7FF, 0xE000,   0xFFFD,     0x10000,    0x10FFFF,
                                       0xD800, 0xDBFF,   0xDC00,     0xDFFF,     0xFFFE,
                                       0xFFFF, 0x110000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
    const uint32_t* r = kRanges + 2 * (rng() % (allowBad ? 10 : 5));
    // A uniform draw almost never lands on a range's edge, where length mistakes happen.
    if (rng() % 4 == 0) return r[rng() % 2];
    return r[0] + static_cast<uint32_t>(rng() % (uint64_t{r[1]} - r[0] + 1));
}

std::wstring RandomWide(std::mt19937& rng) {
    const bool allowBad = rng() % 3 != 0;
    std::wstring s(rng() % 24, L'\0');
    for (auto& c : s) c = static_cast<wchar_t>(RandomCodePoint(rng, allowBad));
    if (allowBad && s.size() > 1 && rng() % 2) s[0] = 0xD800 + rng() % 0x400, s[1] = 0xDC00;
    return s;
}

// Every kind of code point in its own form, some overlong, some cut short, and stray bytes.
std::string RandomUtf8(std::mt19937& rng) {
    std::string s;
    for (size_t n = rng() % 12; n > 0; --n) {
        const uint32_t c = RandomCodePoint(rng, rng() % 2) & 0x7FFFFFFF;
        std::string form = Utf8Form(c, std::min(6, Utf8Length(c) + (rng() % 6 == 0)));
        if (rng() % 6 == 0) form.pop_back();
        s += rng() % 8 ? form : std::string(1, static_cast<char>(rng()));
    }
    return s;
}

// BMP units, pairs, lone surrogates and noncharacters.
std::u16string RandomUtf16(std::mt19937& rng) {
    std::u16string s;
    for (size_t n = rng() % 16; n > 0; --n) {
        const uint32_t c = RandomCodePoint(rng, true);
        if (c < 0x10000) s += static_cast<char16_t>(c);
        if (c >= 0x10000 && c <= 0x10FFFF)
            s += {char16_t(0xD7C0 + (c >> 10)), char16_t(0xDC00 | (c & 0x3FF))};
    }
    return s;
}

struct Result {
    uint32_t code;
    size_t pos;
    std::string bytes;
};

void ExpectSame(const Expect& want, const Result& got) {
    EXPECT_EQ(want.code, got.code);
    EXPECT_EQ(want.pos, got.pos);
    EXPECT_EQ(want.bytes, got.bytes);
}

// Picks the form of an overloaded conversion by its arguments.
#define FORM(f) [](auto&&... a) { return f(a...); }

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

// Every direction against the models, strict and lenient.
void CheckAgainstModels(const std::wstring& in, const std::string& in8,
                        const std::u16string& in16) {
    for (bool lenient : {false, true}) {
        SCOPED_TRACE(lenient ? "lenient" : "strict");
        ExpectSame(ModelFromUtf32(in, To::Utf8String, lenient),
                   String<char>(FORM(Utf32ToUtf8), in, lenient));
        ExpectSame(ModelFromUtf32(in, To::Utf8Buffer, lenient),
                   Buffer<char>(FORM(Utf32ToUtf8), in, lenient));
        ExpectSame(ModelFromUtf32(in, To::Utf16, lenient),
                   String<char16_t>(FORM(Utf32ToUtf16), in, lenient));
        Expect want = ModelDecode(in8, true, lenient, false);
        ExpectSame(want, String<wchar_t>(FORM(Utf8ToUtf32), in8, lenient));
        ExpectSame(want, Buffer<wchar_t>(FORM(Utf8ToUtf32), in8, lenient));
        want.bytes = Conv("UTF-16LE", "UTF-32LE", want.bytes);
        ExpectSame(want, String<char16_t>(FORM(Utf8ToUtf16), in8, lenient));
        ExpectSame(ModelDecode(Bytes(in16), false, lenient, true),
                   String<wchar_t>(FORM(Utf16ToUtf32), in16, lenient));
        want = ModelDecode(Bytes(in16), false, lenient, false);
        want.bytes = Conv("UTF-8", "UTF-32LE", want.bytes);
        ExpectSame(want, String<char>(FORM(Utf16ToUtf8), in16, lenient));
    }
}

// Each output room up to the full size: the conversion stops before the character that does not
// fit (the leftover room takes nothing more) and resumes from there to the same result.
template <typename Out, typename In, typename Fn>
void CheckResume(const std::basic_string<In>& in, Fn convert) {
    const In* const end = in.data() + in.size();
    std::vector<Out> full(in.size() * 6);
    const In* p = in.data();
    Out* o = full.data();
    ASSERT_EQ(0u, convert(p, end, o, full.data() + full.size(), false));
    full.resize(o - full.data());
    for (size_t room = 0; room < full.size(); ++room) {
        std::vector<Out> out(full.size());
        p = in.data();
        o = out.data();
        ASSERT_EQ(ZAV_E_BUFFER_FULL, convert(p, end, o, out.data() + room, false)) << room;
        Out* again = o;
        EXPECT_EQ(ZAV_E_BUFFER_FULL, convert(p, end, again, out.data() + room, false));
        EXPECT_EQ(o, again);
        EXPECT_EQ(0u, convert(p, end, o, out.data() + out.size(), false)) << room;
        EXPECT_TRUE(p == end && out == full) << room;
    }
}

}  // namespace

TEST(ConvertUTF, AgreesWithIconv) {
    std::mt19937 rng(1234);
    for (int iter = 0; iter < 6000 && !HasFailure(); ++iter) {
        const std::wstring in = RandomWide(rng);
        const std::string in8 = RandomUtf8(rng);
        const std::u16string in16 = RandomUtf16(rng);
        SCOPED_TRACE(testing::PrintToString(in) + " / " + testing::PrintToString(in8) + " / " +
                     testing::PrintToString(in16));
        CheckAgainstModels(in, in8, in16);
    }
}

TEST(ConvertUTF, FullBufferStopsBeforeTheCharacterAndResumes) {
    const std::wstring w = L"a\x00E9\x20AC\x1F600z\x10FFFF";
    const std::string u8 = ToUtf8(w);
    const std::u16string u16 = ToUtf16(w);
    CheckResume<char>(w, FORM(Utf32ToUtf8));
    CheckResume<char16_t>(w, FORM(Utf32ToUtf16));
    CheckResume<wchar_t>(u8, FORM(Utf8ToUtf32));
    CheckResume<char16_t>(u8, FORM(Utf8ToUtf16));
    CheckResume<wchar_t>(u16, FORM(Utf16ToUtf32));
    CheckResume<char>(u16, FORM(Utf16ToUtf8));
}

// Both sides of every length boundary and of the surrogate block, through the models and as
// written here; just outside them the overlong forms, encoded and lone surrogates, and the long
// forms past U+10FFFF, which are written but never read.
TEST(ConvertUTF, BoundaryCases) {
    for (const auto& [c, utf8, utf16] :
         {std::tuple<wchar_t, std::string, std::u16string>{0x7F, "\x7F", u"\x7F"},
          {0x80, "\xC2\x80", u"\x80"},
          {0x7FF, "\xDF\xBF", u"\x7FF"},
          {0x800, "\xE0\xA0\x80", u"\x800"},
          {0xD7FF, "\xED\x9F\xBF", u"\xD7FF"},
          {0xE000, "\xEE\x80\x80", u"\xE000"},
          {0xFFFD, "\xEF\xBF\xBD", u"\xFFFD"},
          {0x10000, "\xF0\x90\x80\x80", u"\xD800\xDC00"},
          {0x10FFFF, "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"}}) {
        SCOPED_TRACE(static_cast<uint32_t>(c));
        const std::wstring one(1, c);
        CheckAgainstModels(one, utf8, utf16);
        EXPECT_EQ(utf8, ToUtf8(one));
        EXPECT_EQ(utf16, ToUtf16(one));
        EXPECT_EQ(utf16, ToUtf16(std::string_view(utf8)));
        EXPECT_EQ(one, FromUtf8(utf8));
        EXPECT_EQ(one, FromUtf16(utf16));
        EXPECT_EQ(utf8, ToUtf8(utf16));
    }
    std::wstring w;
    size_t consumed = 9;
    for (const auto& [bytes, code] :
         {std::pair<std::string, uint32_t>{"\xC1\xBF", ZAV_E_ILL_FORMED_UTF8},
          {"\xC0\x80", ZAV_E_ILL_FORMED_UTF8},
          {"\xE0\x9F\xBF", ZAV_E_ILL_FORMED_UTF8},
          {"\xF0\x8F\xBF\xBF", ZAV_E_ILL_FORMED_UTF8},
          {"\xED\xA0\x80", ZAV_E_UTF8_SURROGATE},
          {"\xED\xBF\xBF", ZAV_E_UTF8_SURROGATE},
          {"A\xE2\x82", ZAV_E_TRUNCATED_INPUT}}) {
        CheckAgainstModels(L"", bytes, u"");
        EXPECT_EQ(code, Utf8ToUtf32(bytes, w, false, &consumed)) << testing::PrintToString(bytes);
        EXPECT_EQ(bytes[0] == 'A' ? 1u : 0u, consumed);
    }
    for (const wchar_t c : {0xD800, 0xDBFF, 0xDC00, 0xDFFF}) {
        const std::u16string lone{static_cast<char16_t>(c), u'z'};
        CheckAgainstModels(std::wstring(1, c), "", lone);
        EXPECT_EQ(ZAV_E_UNPAIRED_SURROGATE, Utf16ToUtf32(lone, w, false)) << c;
    }
    for (const auto& [c, bytes] : {std::pair<wchar_t, std::string>{0x110000, "\xF4\x90\x80\x80"},
                                   {0x1FFFFF, "\xF7\xBF\xBF\xBF"},
                                   {0x200000, "\xF8\x88\x80\x80\x80"},
                                   {0x3FFFFFF, "\xFB\xBF\xBF\xBF\xBF"},
                                   {0x4000000, "\xFC\x84\x80\x80\x80\x80"},
                                   {0x7FFFFFFF, "\xFD\xBF\xBF\xBF\xBF\xBF"}}) {
        CheckAgainstModels(std::wstring(1, c), bytes, u"");
        EXPECT_EQ(bytes, String<char>(FORM(Utf32ToUtf8), std::wstring(1, c), false).bytes);
        EXPECT_EQ(ZAV_E_ILL_FORMED_UTF8, Utf8ToUtf32(bytes, w, false));
    }
    w = L"kept";
    EXPECT_EQ(0u, Utf16ToUtf32(static_cast<const char16_t*>(nullptr), w, true));
    EXPECT_EQ(L"kept", w);
    EXPECT_EQ(L"", FromUtf16(nullptr));
    EXPECT_EQ("", ToUtf8(static_cast<const char16_t*>(nullptr)));
    EXPECT_THROW(FromUtf8(static_cast<const char*>(nullptr)), std::invalid_argument);
    // The helpers never drop an incomplete tail silently.
    EXPECT_EQ(L"A\xFFFD", FromUtf8("A\xE2\x82"));
    EXPECT_EQ(L"A\xFFFD", FromUtf16(u"A\xD800"));
}

TEST(ConvertUTF, UnicodePoliciesAppendAndCountInput) {
    std::wstring w = L"x";
    size_t n = 0;
    EXPECT_EQ(ZAV_E_ILL_FORMED_UTF8, zavUnicode<wchar_t>().FromUtf8("\xC3\xA9\x80z", 4, w, n));
    EXPECT_EQ(2u, n);
    EXPECT_EQ(ZAV_E_ILL_FORMED_UTF8,
              zavUnicode<wchar_t>().FromUtf8("\xF0\x9F\x98\x80\x80z", 6, w, n, zavLenient));
    EXPECT_EQ(6u, n);
    EXPECT_EQ(L"x\u00E9\U0001F600\uFFFDz", w);
    std::u16string u = u"y";
    std::string s = "a";
    EXPECT_EQ(0u, zavUnicode<unsigned short>().FromUtf8("\xF0\x9F\x98\x80", 4, u, n));
    EXPECT_EQ(u"y\xD83D\xDE00", u);
    EXPECT_EQ(ZAV_E_UNPAIRED_SURROGATE,
              zavUnicode<unsigned short>().ToUtf8(u"\xDC00z", 2, s, n, zavLenient));
    EXPECT_EQ("a\xEF\xBF\xBDz", s);
}

TEST(CZavCodecvt, StreamsWriteStrictUtf8) {
    std::mt19937 rng(5);
    std::wstring text;  // many file buffers' worth, mostly multi-byte characters
    while (text.size() < 40000) text += static_cast<wchar_t>(RandomCodePoint(rng, false));
    const std::string path = testing::TempDir() + "zav_codecvt_test.txt";
    {
        std::wofstream os(path);
        CZavCodecvt::Imbue(os);
        EXPECT_TRUE(os << text);
    }
    std::ifstream is(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(is)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    EXPECT_TRUE(bytes == Conv("UTF-8", "UTF-32LE", Bytes(text))) << bytes.size();
    // A narrow stream within the scope; after it the classic locale lets no non-ASCII through.
    std::ostringstream narrow;
    {
        CZavLocaleScope scope(narrow);
        WriteWide(narrow, L"<\x00E9\xD800\x1F600>");
    }
    WriteWide(narrow, L"a\x00E9");
    EXPECT_EQ("<\xC3\xA9?\xF0\x9F\x98\x80>a?", narrow.str());
}
