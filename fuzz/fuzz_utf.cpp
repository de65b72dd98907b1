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

bool IsScalarValue(uint32_t c) { return c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF); }
bool IsCleanCharacter(uint32_t c) { return IsScalarValue(c) && c != 0xFFFE && c != 0xFFFF; }

bool AllClean(std::wstring_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](wchar_t c) { return IsCleanCharacter(static_cast<uint32_t>(c)); });
}

bool IsCleanUtf8(std::string_view text) {
    std::wstring decoded;
    return Utf8ToUtf32(text, decoded, false) == 0;
}

bool IsCleanUtf16(std::u16string_view text) {
    std::wstring decoded;
    return Utf16ToUtf32(text, decoded, false) == 0;
}

// A range conversion of one of the buffer forms.
template <class In, class Out>
using BufferForm = uint32_t (*)(const In*&, const In*, Out*&, Out*, bool);

// Runs a buffer form over the whole input with `capacity` units of room per call, resuming
// where the last call stopped, until it ends for another reason than a full buffer. Returns the
// status of the last call; `out` gets everything written.
template <class In, class Out>
uint32_t RunInChunks(BufferForm<In, Out> convert, std::basic_string_view<In> in, size_t capacity,
                     bool lenient, std::basic_string<Out>& out) {
    const In* src = in.data();
    const In* const end = in.data() + in.size();
    std::vector<Out> buffer(capacity);
    for (;;) {
        const In* const before = src;
        Out* dst = buffer.data();
        const uint32_t status = convert(src, end, dst, buffer.data() + capacity, lenient);
        ZAV_FUZZ_CHECK(src >= before && src <= end);
        ZAV_FUZZ_CHECK(dst >= buffer.data() && dst <= buffer.data() + capacity);
        out.append(buffer.data(), dst);
        if (status != ZAV_E_BUFFER_FULL) return status;
        // A full buffer that took nothing: one character needs more room than there is.
        if (src == before) {
            ZAV_FUZZ_CHECK(dst == buffer.data());
            return status;
        }
    }
}

// The buffer form with room for everything agrees with the string form (same status, same
// output, same stopping point), and in small chunks it writes the same text.
template <class In, class Out, class StringForm>
void CheckBufferForm(BufferForm<In, Out> bufferForm, StringForm stringForm,
                     std::basic_string_view<In> in, size_t unitsPerInput, size_t chunk,
                     bool lenient) {
    std::basic_string<Out> expected;
    const In* src = in.data();
    const uint32_t status = stringForm(src, in.data() + in.size(), expected, lenient);

    std::vector<Out> buffer(in.size() * unitsPerInput + 1);
    const In* bsrc = in.data();
    Out* dst = buffer.data();
    const uint32_t bufferStatus =
        bufferForm(bsrc, in.data() + in.size(), dst, buffer.data() + buffer.size(), lenient);
    ZAV_FUZZ_CHECK(bufferStatus == status);
    ZAV_FUZZ_CHECK(bsrc == src);
    ZAV_FUZZ_CHECK(std::basic_string<Out>(buffer.data(), dst) == expected);

    std::basic_string<Out> chunked;
    const uint32_t chunkStatus = RunInChunks(bufferForm, in, chunk, lenient, chunked);
    if (chunkStatus == ZAV_E_BUFFER_FULL) {
        // Stopped for lack of room: what was written so far is the start of the text.
        ZAV_FUZZ_CHECK(expected.compare(0, chunked.size(), chunked) == 0);
    } else {
        ZAV_FUZZ_CHECK(chunked == expected);
        // Lenient calls remember only their own replacements, so only strict statuses compare.
        if (!lenient) ZAV_FUZZ_CHECK(chunkStatus == status);
    }
}

// ---- UTF-8 input ------------------------------------------------------------------------------

void CheckUtf8(std::string_view in, size_t chunk) {
    std::wstring wide;
    size_t consumed = 0;
    const uint32_t status = Utf8ToUtf32(in, wide, false, &consumed);
    std::u16string utf16;
    size_t consumed16 = 0;
    // Both decode the same way, so they stop at the same place for the same reason.
    ZAV_FUZZ_CHECK(Utf8ToUtf16(in, utf16, false, &consumed16) == status);
    ZAV_FUZZ_CHECK(consumed16 == consumed);
    if (status == 0) {
        ZAV_FUZZ_CHECK(consumed == in.size());
        ZAV_FUZZ_CHECK(AllClean(wide));
        std::string back;
        ZAV_FUZZ_CHECK(Utf32ToUtf8(wide, back, false) == 0 && back == in);
        back.clear();
        ZAV_FUZZ_CHECK(Utf16ToUtf8(utf16, back, false) == 0 && back == in);
        std::wstring fromUtf16;
        ZAV_FUZZ_CHECK(Utf16ToUtf32(utf16, fromUtf16, false) == 0 && fromUtf16 == wide);
        ZAV_FUZZ_CHECK(FromUtf8(in) == wide && ToUtf16(in) == utf16);
    } else {
        // Stopped before the bad character: the part before it converts cleanly to the same text.
        ZAV_FUZZ_CHECK(consumed < in.size());
        std::wstring prefix;
        ZAV_FUZZ_CHECK(Utf8ToUtf32(in.substr(0, consumed), prefix, false) == 0);
        ZAV_FUZZ_CHECK(prefix == wide);
    }

    std::wstring lenient;
    size_t lenientConsumed = 0;
    const uint32_t lenientStatus = Utf8ToUtf32(in, lenient, true, &lenientConsumed);
    // Lenient mode stops only at a sequence cut off by the end of the input.
    ZAV_FUZZ_CHECK(lenientConsumed == in.size() || lenientStatus == ZAV_E_TRUNCATED_INPUT);
    ZAV_FUZZ_CHECK(AllClean(lenient));
    ZAV_FUZZ_CHECK(status != 0 || (lenientStatus == 0 && lenient == wide));
    // The everyday helpers never fail and give clean text whatever comes in.
    const std::wstring helper = FromUtf8(in);
    ZAV_FUZZ_CHECK(AllClean(helper));
    ZAV_FUZZ_CHECK(helper.compare(0, lenient.size(), lenient) == 0);
    ZAV_FUZZ_CHECK(helper.size() - lenient.size() == (lenientConsumed == in.size() ? 0u : 1u));
    ZAV_FUZZ_CHECK(IsCleanUtf16(ToUtf16(in)));
    ZAV_FUZZ_CHECK(IsCleanUtf8(ToUtf8(helper)));

    // The policy class grows its string by the byte count before decoding.
    std::wstring policyOut = L"x";
    size_t policyConsumed = 0;
    const uint32_t policyStatus =
        zavUnicode<wchar_t>().FromUtf8(in.data(), in.size(), policyOut, policyConsumed, zavLenient);
    ZAV_FUZZ_CHECK(policyStatus == lenientStatus && policyConsumed == lenientConsumed);
    ZAV_FUZZ_CHECK(policyOut == L"x" + lenient);
    std::u16string policy16;
    std::u16string lenient16;
    Utf8ToUtf16(in, lenient16, true);
    zavUnicode<unsigned short>().FromUtf8(in.data(), in.size(), policy16, policyConsumed,
                                          zavLenient);
    ZAV_FUZZ_CHECK(policy16 == lenient16);

    for (bool mode : {false, true}) {
        CheckBufferForm<char, wchar_t>(
            Utf8ToUtf32,
            [](const char*& s, const char* e, std::wstring& d, bool l) {
                return Utf8ToUtf32(s, e, d, l);
            },
            in, 1, chunk, mode);
        CheckBufferForm<char, char16_t>(
            Utf8ToUtf16,
            [](const char*& s, const char* e, std::u16string& d, bool l) {
                return Utf8ToUtf16(s, e, d, l);
            },
            in, 1, chunk + 1, mode);
    }
}

// ---- UTF-16 input -----------------------------------------------------------------------------

void CheckUtf16(std::u16string_view in, size_t chunk) {
    std::wstring wide;
    size_t consumed = 0;
    const uint32_t status = Utf16ToUtf32(in, wide, false, &consumed);
    std::string utf8;
    size_t consumed8 = 0;
    ZAV_FUZZ_CHECK(Utf16ToUtf8(in, utf8, false, &consumed8) == status);
    ZAV_FUZZ_CHECK(consumed8 == consumed);
    if (status == 0) {
        ZAV_FUZZ_CHECK(consumed == in.size());
        ZAV_FUZZ_CHECK(AllClean(wide));
        std::u16string back;
        ZAV_FUZZ_CHECK(Utf32ToUtf16(wide, back, false) == 0 && back == in);
        back.clear();
        ZAV_FUZZ_CHECK(Utf8ToUtf16(utf8, back, false) == 0 && back == in);
        ZAV_FUZZ_CHECK(FromUtf16(in) == wide && ToUtf8(in) == utf8);
    } else {
        ZAV_FUZZ_CHECK(consumed < in.size());
        std::wstring prefix;
        ZAV_FUZZ_CHECK(Utf16ToUtf32(in.substr(0, consumed), prefix, false) == 0);
        ZAV_FUZZ_CHECK(prefix == wide);
    }

    // Lenient UTF-16 -> UTF-32 copies U+FFFE/U+FFFF, so only surrogates are ruled out there;
    // towards UTF-8 they are replaced.
    const std::wstring lenient = FromUtf16(in);
    ZAV_FUZZ_CHECK(std::all_of(lenient.begin(), lenient.end(),
                               [](wchar_t c) { return IsScalarValue(static_cast<uint32_t>(c)); }));
    ZAV_FUZZ_CHECK(IsCleanUtf8(ToUtf8(in)));

    for (bool mode : {false, true}) {
        CheckBufferForm<char16_t, wchar_t>(
            Utf16ToUtf32,
            [](const char16_t*& s, const char16_t* e, std::wstring& d, bool l) {
                return Utf16ToUtf32(s, e, d, l);
            },
            in, 1, chunk, mode);
        CheckBufferForm<char16_t, char>(
            Utf16ToUtf8,
            [](const char16_t*& s, const char16_t* e, std::string& d, bool l) {
                return Utf16ToUtf8(s, e, d, l);
            },
            in, 3, chunk + 2, mode);
    }
}

// ---- Wide input -------------------------------------------------------------------------------

void CheckWide(std::wstring_view in, size_t chunk) {
    std::string utf8;
    size_t consumed = 0;
    const uint32_t status = Utf32ToUtf8(in, utf8, false, &consumed);
    if (status == 0) {
        ZAV_FUZZ_CHECK(consumed == in.size());
        std::wstring back;
        if (AllClean(in)) {
            ZAV_FUZZ_CHECK(Utf8ToUtf32(utf8, back, false) == 0 && back == in);
        } else {
            // Values above U+10FFFF get the long forms, which no reader takes back.
            ZAV_FUZZ_CHECK(Utf8ToUtf32(utf8, back, false) == ZAV_E_ILL_FORMED_UTF8);
        }
    } else {
        ZAV_FUZZ_CHECK(consumed < in.size());
        std::string prefix;
        ZAV_FUZZ_CHECK(Utf32ToUtf8(in.substr(0, consumed), prefix, false) == 0);
        ZAV_FUZZ_CHECK(prefix == utf8);
    }

    std::u16string utf16;
    const uint32_t status16 = Utf32ToUtf16(in, utf16, false, &consumed);
    ZAV_FUZZ_CHECK((status16 == 0) == AllClean(in));
    if (status16 == 0) {
        std::wstring back;
        ZAV_FUZZ_CHECK(Utf16ToUtf32(utf16, back, false) == 0 && back == in);
    }

    // What the parser hands over (UTF-16 decoded to wide) always becomes clean UTF-8 for the
    // application; that holds for any wide text of clean characters.
    ZAV_FUZZ_CHECK(IsCleanUtf16(ToUtf16(in)));
    if (AllClean(in)) ZAV_FUZZ_CHECK(ToUtf8(in) == utf8);
    if (std::all_of(in.begin(), in.end(),
                    [](wchar_t c) { return static_cast<uint32_t>(c) <= 0x10FFFF; })) {
        ZAV_FUZZ_CHECK(IsCleanUtf8(ToUtf8(in)));
    }

    for (bool mode : {false, true}) {
        CheckBufferForm<wchar_t, char16_t>(
            Utf32ToUtf16,
            [](const wchar_t*& s, const wchar_t* e, std::u16string& d, bool l) {
                return Utf32ToUtf16(s, e, d, l);
            },
            in, 2, chunk + 1, mode);
        // The string form pairs surrogates and the buffer form does not, so without surrogates
        // only.
        const bool surrogates = std::any_of(in.begin(), in.end(), [](wchar_t c) {
            return static_cast<uint32_t>(c) >= 0xD800 && static_cast<uint32_t>(c) <= 0xDFFF;
        });
        if (!surrogates) {
            CheckBufferForm<wchar_t, char>(
                Utf32ToUtf8,
                [](const wchar_t*& s, const wchar_t* e, std::string& d, bool l) {
                    return Utf32ToUtf8(s, e, d, l);
                },
                in, 6, chunk + 5, mode);
        }
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
