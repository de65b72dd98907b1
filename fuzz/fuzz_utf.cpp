// Fuzz target: the UTF conversions. The input is read three ways, as UTF-8 bytes, as 16-bit units
// and as 32-bit wide characters, and every conversion must do what the iconv model says. The
// buffer forms, fed a small buffer again and again, must write what the string forms write.
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "zavToolsLib/UtfModel.h"

using namespace utfModel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string in8(reinterpret_cast<const char*>(data), size);
    std::u16string in16(size / 2, u'\0');
    std::memcpy(in16.data(), data, in16.size() * sizeof(char16_t));
    std::wstring in32(size / 4, L'\0');
    std::memcpy(in32.data(), data, in32.size() * sizeof(wchar_t));
    const std::string mismatches = Mismatches(in32, in8, in16);
    if (!mismatches.empty()) std::fputs(mismatches.c_str(), stderr);
    ZAV_FUZZ_CHECK(mismatches.empty());
    // Room per call for the chunked runs, varied by the input.
    const size_t chunk = size % 8 + 1;
    bool surrogates = false;  // the string form pairs them and the buffer form does not
    for (const wchar_t c : in32) surrogates |= c >= 0xD800 && c <= 0xDFFF;
    for (bool lenient : {false, true}) {
        ZAV_FUZZ_CHECK(ChunksAgree<wchar_t>(ZAV_UTF_FORM(Utf8ToUtf32), in8, chunk, lenient));
        ZAV_FUZZ_CHECK(ChunksAgree<char16_t>(ZAV_UTF_FORM(Utf8ToUtf16), in8, chunk + 1, lenient));
        ZAV_FUZZ_CHECK(ChunksAgree<wchar_t>(ZAV_UTF_FORM(Utf16ToUtf32), in16, chunk, lenient));
        ZAV_FUZZ_CHECK(ChunksAgree<char>(ZAV_UTF_FORM(Utf16ToUtf8), in16, chunk + 2, lenient));
        ZAV_FUZZ_CHECK(ChunksAgree<char16_t>(ZAV_UTF_FORM(Utf32ToUtf16), in32, chunk + 1, lenient));
        if (!surrogates)
            ZAV_FUZZ_CHECK(ChunksAgree<char>(ZAV_UTF_FORM(Utf32ToUtf8), in32, chunk + 5, lenient));
    }
    return 0;
}
