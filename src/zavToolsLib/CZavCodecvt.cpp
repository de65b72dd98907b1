#include "zavToolsLib/CZavCodecvt.h"

#include "zavToolsLib/ConvertUTF.h"
#include "zavToolsLib/zavStatus.h"

namespace zavToolsLib {
namespace {

// Created during static initialisation, i.e. when the library is loaded. A failed allocation
// there must not end the host; the first use tries again.
struct CodecvtAtLoad {
    CodecvtAtLoad() noexcept {
        try {
            CZavCodecvt::Instance();
        } catch (...) {
        }
    }
};
const CodecvtAtLoad g_codecvtAtLoad;

}  // namespace

CZavCodecvt& CZavCodecvt::Instance() {
    // refs = 1: no locale ever deletes it.
    static CZavCodecvt* const s_pInstance = new CZavCodecvt(1);
    return *s_pInstance;
}

std::locale CZavCodecvt::MakeLocale(const std::locale& base) {
    return std::locale(base, &Instance());
}

namespace {
// Streams mostly come with the classic locale: its UTF-8 form is built once.
std::locale Utf8Of(const std::locale& base) {
    static const std::locale s_classicUtf8 = CZavCodecvt::MakeLocale(std::locale::classic());
    return base == std::locale::classic() ? s_classicUtf8 : CZavCodecvt::MakeLocale(base);
}
}  // namespace

std::locale CZavCodecvt::Imbue(std::ostream& os) { return os.imbue(Utf8Of(os.getloc())); }

std::locale CZavCodecvt::Imbue(std::wostream& os) { return os.imbue(Utf8Of(os.getloc())); }

CZavCodecvt::result CZavCodecvt::do_out(state_type&, const intern_type* from,
                                        const intern_type* fromEnd, const intern_type*& fromNext,
                                        extern_type* to, extern_type* toEnd,
                                        extern_type*& toNext) const {
    fromNext = from;
    toNext = to;
    const uint32_t rc = Utf32ToUtf8(fromNext, fromEnd, toNext, toEnd, false);
    if (rc == ZAV_OK) {
        return ok;
    }
    return rc == ZAV_E_BUFFER_FULL ? partial : error;
}

CZavCodecvt::result CZavCodecvt::do_unshift(state_type&, extern_type* to, extern_type*,
                                            extern_type*& toNext) const {
    toNext = to;
    return noconv;
}

int CZavCodecvt::do_max_length() const noexcept { return 6; }

CZavLocaleScope::~CZavLocaleScope() {
    if (m_pNarrow != nullptr) {
        m_pNarrow->imbue(m_prev);
    } else {
        m_pWide->imbue(m_prev);
    }
}

std::ostream& WriteWide(std::ostream& os, std::wstring_view text) {
    using Cvt = std::codecvt<wchar_t, char, std::mbstate_t>;
    const Cvt& cvt = std::use_facet<Cvt>(os.getloc());
    std::mbstate_t state{};
    char buffer[512];
    const wchar_t* from = text.data();
    const wchar_t* const end = from + text.size();
    while (from < end && os) {
        const wchar_t* next = from;
        char* to = buffer;
        const Cvt::result r = cvt.out(state, from, end, next, buffer, buffer + sizeof buffer, to);
        if (r == Cvt::noconv) {
            for (; from < end; ++from) {
                os.put(static_cast<char>(*from));
            }
            break;
        }
        os.write(buffer, to - buffer);
        if (r == Cvt::error || (r == Cvt::partial && next == from && to == buffer)) {
            // Skip what the facet cannot write and start its state afresh.
            os.put('?');
            ++next;
            state = std::mbstate_t{};
        }
        from = next;
    }
    return os;
}

}  // namespace zavToolsLib
