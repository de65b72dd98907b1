// Fuzz target: the UTF conversions. The input is read three ways: as UTF-8 bytes, as 16-bit
// units and as 32-bit wide characters. For each: what converts cleanly in strict mode must come
// back unchanged, a strict failure must stop exactly before the bad character, lenient output
// must be clean, and the buffer forms, fed a small buffer again and again, must give what the
// string forms give.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "zavToolsLib/ConvertUTF.h"
#include "zavToolsLib/zavStatus.h"
#include "zavToolsLib/zavUnicode.h"

namespace {

using namespace zavToolsLib;

// Picks the form of an overloaded conversion by its arguments.
#define FORM(f) [](auto&&... a) { return f(a...); }

bool IsScalarValue(uint32_t c) { return c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF); }
bool AllClean(std::wstring_view text) {
    return std::all_of(text.begin(), text.end(), [](wchar_t c) {
        return IsScalarValue(static_cast<uint32_t>(c)) && c != 0xFFFE && c != 0xFFFF;
    });
}

// One name per direction, so that UTF-8 and UTF-16 input share the checks below.
uint32_t ToWide(std::string_view in, std::wstring& out, bool lenient, size_t* consumed = nullptr) {
    return Utf8ToUtf32(in, out, lenient, consumed);
}
uint32_t ToWide(std::u16string_view in, std::wstring& out, bool lenient,
                size_t* consumed = nullptr) {
    return Utf16ToUtf32(in, out, lenient, consumed);
}
uint32_t Across(std::string_view in, std::u16string& out, size_t* consumed = nullptr) {
    return Utf8ToUtf16(in, out, false, consumed);
}
uint32_t Across(std::u16string_view in, std::string& out, size_t* consumed = nullptr) {
    return Utf16ToUtf8(in, out, false, consumed);
}
uint32_t FromWide(std::wstring_view in, std::string& out) { return Utf32ToUtf8(in, out, false); }
uint32_t FromWide(std::wstring_view in, std::u16string& out) {
    return Utf32ToUtf16(in, out, false);
}
template <class In>
bool IsClean(const std::basic_string<In>& text) {
    std::wstring decoded;
    return ToWide(text, decoded, false) == 0;
}

// The buffer form with room for everything agrees with the string form (same status, output and
// stopping point); given `chunk` units of room again and again it writes the same text.
template <class Out, class In, class F>
void CheckBufferForm(F convert, std::basic_string_view<In> in, size_t perUnit, size_t chunk,
                     bool lenient) {
    const In* const end = in.data() + in.size();
    const In *src = in.data(), *bsrc = in.data();
    std::basic_string<Out> expected, chunked;
    const uint32_t status = convert(src, end, expected, lenient);
    std::vector<Out> buffer(in.size() * perUnit + chunk);
    Out* dst = buffer.data();
    ZAV_FUZZ_CHECK(convert(bsrc, end, dst, buffer.data() + buffer.size(), lenient) == status);
    ZAV_FUZZ_CHECK(bsrc == src && std::basic_string<Out>(buffer.data(), dst) == expected);
    bsrc = in.data();
    uint32_t chunkStatus = ZAV_E_BUFFER_FULL;
    for (const In* before = nullptr; chunkStatus == ZAV_E_BUFFER_FULL && bsrc != before;) {
        before = bsrc;
        dst = buffer.data();
        chunkStatus = convert(bsrc, end, dst, buffer.data() + chunk, lenient);
        ZAV_FUZZ_CHECK(bsrc >= before && bsrc <= end);
        ZAV_FUZZ_CHECK(dst >= buffer.data() && dst <= buffer.data() + chunk);
        // A full buffer that took nothing: one character needs more room than there is.
        ZAV_FUZZ_CHECK(bsrc != before || dst == buffer.data() || chunkStatus != ZAV_E_BUFFER_FULL);
        chunked.append(buffer.data(), dst);
    }
    if (chunkStatus == ZAV_E_BUFFER_FULL) {
        // Stopped for lack of room: what was written so far is the start of the text.
        ZAV_FUZZ_CHECK(expected.compare(0, chunked.size(), chunked) == 0);
    } else {
        // Lenient calls remember only their own replacements, so only strict statuses compare.
        ZAV_FUZZ_CHECK(chunked == expected && (lenient || chunkStatus == status));
    }
}

// Strict decoding of UTF-8 or UTF-16: towards UTF-32 and towards the other form it stops at the
// same place for the same reason; what converts comes back unchanged from both; a failure stops
// exactly before the bad character. Returns the status and the decoded text.
template <class In, class Other>
uint32_t CheckDecoding(std::basic_string_view<In> in, std::wstring& wide,
                       std::basic_string<Other>& other) {
    std::wstring prefix, fromOther;
    std::basic_string<In> back, back2;
    size_t consumed = 0, consumedOther = 0;
    const uint32_t status = ToWide(in, wide, false, &consumed);
    ZAV_FUZZ_CHECK(Across(in, other, &consumedOther) == status && consumedOther == consumed);
    if (status == 0) {
        ZAV_FUZZ_CHECK(consumed == in.size() && AllClean(wide));
        ZAV_FUZZ_CHECK(FromWide(wide, back) == 0 && back == in);
        ZAV_FUZZ_CHECK(Across(other, back2) == 0 && back2 == in);
        ZAV_FUZZ_CHECK(ToWide(other, fromOther, false) == 0 && fromOther == wide);
    } else {
        ZAV_FUZZ_CHECK(consumed < in.size());
        ZAV_FUZZ_CHECK(ToWide(in.substr(0, consumed), prefix, false) == 0 && prefix == wide);
    }
    return status;
}

void CheckUtf8(std::string_view in, size_t chunk) {
    std::wstring wide, lenient;
    std::u16string utf16, lenient16, policy16;
    const uint32_t status = CheckDecoding(in, wide, utf16);
    if (status == 0) ZAV_FUZZ_CHECK(FromUtf8(in) == wide && ToUtf16(in) == utf16);
    size_t lenientConsumed = 0;
    const uint32_t lenientStatus = Utf8ToUtf32(in, lenient, true, &lenientConsumed);
    // Lenient mode stops only at a sequence cut off by the end of the input.
    ZAV_FUZZ_CHECK(lenientConsumed == in.size() || lenientStatus == ZAV_E_TRUNCATED_INPUT);
    ZAV_FUZZ_CHECK(AllClean(lenient));
    ZAV_FUZZ_CHECK(status != 0 || (lenientStatus == 0 && lenient == wide));
    // The everyday helpers never fail and give clean text whatever comes in.
    const std::wstring helper = FromUtf8(in);
    ZAV_FUZZ_CHECK(AllClean(helper) && helper.compare(0, lenient.size(), lenient) == 0);
    ZAV_FUZZ_CHECK(helper.size() - lenient.size() == (lenientConsumed == in.size() ? 0u : 1u));
    ZAV_FUZZ_CHECK(IsClean(ToUtf16(in)) && IsClean(ToUtf8(helper)));

    // The policy class grows its string by the byte count before decoding.
    std::wstring policyOut = L"x";
    size_t policyConsumed = 0;
    const uint32_t policyStatus =
        zavUnicode<wchar_t>().FromUtf8(in.data(), in.size(), policyOut, policyConsumed, zavLenient);
    ZAV_FUZZ_CHECK(policyStatus == lenientStatus && policyConsumed == lenientConsumed);
    ZAV_FUZZ_CHECK(policyOut == L"x" + lenient);
    Utf8ToUtf16(in, lenient16, true);
    zavUnicode<unsigned short>().FromUtf8(in.data(), in.size(), policy16, policyConsumed,
                                          zavLenient);
    ZAV_FUZZ_CHECK(policy16 == lenient16);
    for (bool mode : {false, true}) {
        CheckBufferForm<wchar_t>(FORM(Utf8ToUtf32), in, 1, chunk, mode);
        CheckBufferForm<char16_t>(FORM(Utf8ToUtf16), in, 1, chunk + 1, mode);
    }
}

void CheckUtf16(std::u16string_view in, size_t chunk) {
    std::wstring wide;
    std::string utf8;
    if (CheckDecoding(in, wide, utf8) == 0)
        ZAV_FUZZ_CHECK(FromUtf16(in) == wide && ToUtf8(in) == utf8);
    // Lenient UTF-16 -> UTF-32 copies U+FFFE/U+FFFF, so only surrogates are ruled out there;
    // towards UTF-8 they are replaced.
    const std::wstring lenient = FromUtf16(in);
    ZAV_FUZZ_CHECK(std::all_of(lenient.begin(), lenient.end(),
                               [](wchar_t c) { return IsScalarValue(static_cast<uint32_t>(c)); }));
    ZAV_FUZZ_CHECK(IsClean(ToUtf8(in)));
    for (bool mode : {false, true}) {
        CheckBufferForm<wchar_t>(FORM(Utf16ToUtf32), in, 1, chunk, mode);
        CheckBufferForm<char>(FORM(Utf16ToUtf8), in, 3, chunk + 2, mode);
    }
}

void CheckWide(std::wstring_view in, size_t chunk) {
    std::string utf8, prefix;
    std::u16string utf16;
    std::wstring back;
    size_t consumed = 0;
    const uint32_t status = Utf32ToUtf8(in, utf8, false, &consumed);
    if (status == 0) {
        // Values above U+10FFFF get the long forms, which no reader takes back.
        ZAV_FUZZ_CHECK(consumed == in.size());
        ZAV_FUZZ_CHECK(AllClean(in) ? Utf8ToUtf32(utf8, back, false) == 0 && back == in
                                    : Utf8ToUtf32(utf8, back, false) == ZAV_E_ILL_FORMED_UTF8);
    } else {
        ZAV_FUZZ_CHECK(consumed < in.size());
        ZAV_FUZZ_CHECK(Utf32ToUtf8(in.substr(0, consumed), prefix, false) == 0 && prefix == utf8);
    }
    const uint32_t status16 = Utf32ToUtf16(in, utf16, false, &consumed);
    ZAV_FUZZ_CHECK((status16 == 0) == AllClean(in));
    back.clear();
    ZAV_FUZZ_CHECK(status16 != 0 || (Utf16ToUtf32(utf16, back, false) == 0 && back == in));
    // What the parser hands over (UTF-16 decoded to wide) always becomes clean UTF-8 for the
    // application; that holds for any wide text of clean characters.
    ZAV_FUZZ_CHECK(IsClean(ToUtf16(in)));
    ZAV_FUZZ_CHECK(!AllClean(in) || ToUtf8(in) == utf8);
    const bool surrogates = std::any_of(in.begin(), in.end(), [](wchar_t c) {
        return static_cast<uint32_t>(c) >= 0xD800 && static_cast<uint32_t>(c) <= 0xDFFF;
    });
    if (std::all_of(in.begin(), in.end(), [](wchar_t c) { return uint32_t(c) <= 0x10FFFF; })) {
        ZAV_FUZZ_CHECK(IsClean(ToUtf8(in)));
    }
    for (bool mode : {false, true}) {
        CheckBufferForm<char16_t>(FORM(Utf32ToUtf16), in, 2, chunk + 1, mode);
        // The string form pairs surrogates and the buffer form does not.
        if (!surrogates) CheckBufferForm<char>(FORM(Utf32ToUtf8), in, 6, chunk + 5, mode);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Room per call for the chunked runs, varied by the input.
    const size_t chunk = size % 8 + 1;
    CheckUtf8(std::string_view(reinterpret_cast<const char*>(data), size), chunk);
    std::u16string utf16(size / 2, u'\0');
    std::memcpy(utf16.data(), data, utf16.size() * sizeof(char16_t));
    CheckUtf16(utf16, chunk);
    std::wstring wide(size / 4, L'\0');
    std::memcpy(wide.data(), data, wide.size() * sizeof(wchar_t));
    CheckWide(wide, chunk);
    return 0;
}
