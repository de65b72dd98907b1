#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>

#include "zavToolsLib/CZavCodecvt.h"
#include "zavToolsLib/ConvertUTF.h"
#include "zavToolsLib/UtfModel.h"
#include "zavToolsLib/zavStatus.h"
#include "zavToolsLib/zavUnicode.h"

using namespace zavToolsLib;
using namespace utfModel;

namespace {

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

// The wide text's code points up to U+10FFFF as units and pairs: its lone surrogates and
// noncharacters too.
std::u16string RandomUtf16(std::mt19937& rng) {
    std::u16string s;
    for (const wchar_t c : RandomWide(rng)) {
        if (c < 0x10000) s += static_cast<char16_t>(c);
        if (c >= 0x10000 && c <= 0x10FFFF)
            s += {char16_t(0xD7C0 + (c >> 10)), char16_t(0xDC00 | (c & 0x3FF))};
    }
    return s;
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
        EXPECT_EQ("", Mismatches(in, in8, in16));
    }
}

// Every room up to the full size: the conversion stops before the character that does not fit
// (the leftover room takes nothing more) and resumes from there to the same result.
TEST(ConvertUTF, FullBufferStopsBeforeTheCharacterAndResumes) {
    const std::wstring w = L"a\x00E9\x20AC\x1F600z\x10FFFF";
    const std::string u8 = ToUtf8(w);
    const std::u16string u16 = ToUtf16(w);
    for (size_t room = 0; room <= u8.size(); ++room) {
        SCOPED_TRACE(room);
        EXPECT_TRUE(ChunksAgree<char>(ZAV_UTF_FORM(Utf32ToUtf8), w, room, false));
        EXPECT_TRUE(ChunksAgree<char16_t>(ZAV_UTF_FORM(Utf32ToUtf16), w, room, false));
        EXPECT_TRUE(ChunksAgree<wchar_t>(ZAV_UTF_FORM(Utf8ToUtf32), u8, room, false));
        EXPECT_TRUE(ChunksAgree<char16_t>(ZAV_UTF_FORM(Utf8ToUtf16), u8, room, false));
        EXPECT_TRUE(ChunksAgree<wchar_t>(ZAV_UTF_FORM(Utf16ToUtf32), u16, room, false));
        EXPECT_TRUE(ChunksAgree<char>(ZAV_UTF_FORM(Utf16ToUtf8), u16, room, false));
    }
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
        EXPECT_EQ("", Mismatches(one, utf8, utf16));
        EXPECT_EQ(utf8, ToUtf8(one));
        EXPECT_EQ(one, FromUtf16(utf16));
    }
    std::wstring w;
    for (const auto& [bytes, code] :
         {std::pair<std::string, uint32_t>{"\xC1\xBF", ZAV_E_ILL_FORMED_UTF8},
          {"\xC0\x80", ZAV_E_ILL_FORMED_UTF8},
          {"\xE0\x9F\xBF", ZAV_E_ILL_FORMED_UTF8},
          {"\xF0\x8F\xBF\xBF", ZAV_E_ILL_FORMED_UTF8},
          {"\xED\xA0\x80", ZAV_E_UTF8_SURROGATE},
          {"\xED\xBF\xBF", ZAV_E_UTF8_SURROGATE},
          {"A\xE2\x82", ZAV_E_TRUNCATED_INPUT}}) {
        EXPECT_EQ("", Mismatches(L"", bytes, u""));
        EXPECT_EQ(code, Utf8ToUtf32(bytes, w, false)) << testing::PrintToString(bytes);
    }
    for (const wchar_t c : {0xD800, 0xDBFF, 0xDC00, 0xDFFF}) {
        const std::u16string lone{static_cast<char16_t>(c), u'z'};
        EXPECT_EQ("", Mismatches(std::wstring(1, c), "", lone));
        EXPECT_EQ(ZAV_E_UNPAIRED_SURROGATE, Utf16ToUtf32(lone, w, false)) << c;
    }
    for (const auto& [c, bytes] : {std::pair<wchar_t, std::string>{0x110000, "\xF4\x90\x80\x80"},
                                   {0x1FFFFF, "\xF7\xBF\xBF\xBF"},
                                   {0x200000, "\xF8\x88\x80\x80\x80"},
                                   {0x3FFFFFF, "\xFB\xBF\xBF\xBF\xBF"},
                                   {0x4000000, "\xFC\x84\x80\x80\x80\x80"},
                                   {0x7FFFFFFF, "\xFD\xBF\xBF\xBF\xBF\xBF"}}) {
        EXPECT_EQ("", Mismatches(std::wstring(1, c), bytes, u""));
        EXPECT_EQ(bytes, ToUtf8(std::wstring(1, c)));
    }
    w = L"kept";
    EXPECT_EQ(0u, Utf16ToUtf32(static_cast<const char16_t*>(nullptr), w, true));
    EXPECT_EQ(L"kept", w);
    EXPECT_EQ(L"", FromUtf16(nullptr));
    EXPECT_EQ("", ToUtf8(static_cast<const char16_t*>(nullptr)));
    EXPECT_THROW(FromUtf8(static_cast<const char*>(nullptr)), std::invalid_argument);
    EXPECT_EQ("", Mismatches(L"", "", u"A\xD800"));
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
