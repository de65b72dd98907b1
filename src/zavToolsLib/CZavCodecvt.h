// The stream conversion facet that makes wide text come out as UTF-8.
//
// Wide streams (std::wofstream and friends) use the codecvt<wchar_t, char> facet of their locale
// when they write to a file, so imbuing them with MakeLocale(...) is all they need. A narrow
// stream never consults that facet by itself: wide text reaches a narrow stream through
// WriteWide, which converts with the facet of the stream's locale. A narrow stream imbued with
// MakeLocale(...) therefore receives UTF-8; one with the classic locale receives only ASCII.
#pragma once

#include <cstddef>
#include <cwchar>
#include <locale>
#include <ostream>
#include <string_view>

namespace zavToolsLib {

class CZavCodecvt : public std::codecvt<wchar_t, char, std::mbstate_t> {
public:
    explicit CZavCodecvt(std::size_t refs = 0)
        : std::codecvt<wchar_t, char, std::mbstate_t>(refs) {}

    // The process-wide instance, created at load time and never destroyed, so locales holding it
    // stay usable until the very end of the process.
    static CZavCodecvt& Instance();

    // base with this facet in place of its wide-to-narrow conversion.
    static std::locale MakeLocale(const std::locale& base);

    // Imbue the stream with MakeLocale(its locale); returns the previous locale for restoring.
    static std::locale Imbue(std::ostream& os);
    static std::locale Imbue(std::wostream& os);

protected:
    // Strict UTF-8: ok when everything fit, partial when the output buffer filled up (the stream
    // flushes and calls again), error at a character the converter rejects (surrogate, negative,
    // U+FFFE/U+FFFF). No state is carried between calls.
    result do_out(state_type& state, const intern_type* from, const intern_type* fromEnd,
                  const intern_type*& fromNext, extern_type* to, extern_type* toEnd,
                  extern_type*& toNext) const override;
    result do_unshift(state_type& state, extern_type* to, extern_type* toEnd,
                      extern_type*& toNext) const override;
    // The classic facet claims one byte per character; file buffers size their conversion
    // buffer from this and drop output that does not fit, so the real maximum is reported.
    int do_max_length() const noexcept override;
};

// Imbues a stream for the lifetime of the scope and restores its previous locale afterwards.
class CZavLocaleScope {
public:
    explicit CZavLocaleScope(std::ostream& os) : m_pNarrow(&os), m_prev(CZavCodecvt::Imbue(os)) {}
    explicit CZavLocaleScope(std::wostream& os) : m_pWide(&os), m_prev(CZavCodecvt::Imbue(os)) {}
    ~CZavLocaleScope();
    CZavLocaleScope(const CZavLocaleScope&) = delete;
    CZavLocaleScope& operator=(const CZavLocaleScope&) = delete;

private:
    std::ostream* m_pNarrow = nullptr;
    std::wostream* m_pWide = nullptr;
    std::locale m_prev;
};

// Writes wide text to a narrow stream through the codecvt<wchar_t, char> facet of the stream's
// locale. A character the facet rejects is written as '?'.
std::ostream& WriteWide(std::ostream& os, std::wstring_view text);

}  // namespace zavToolsLib
