#include "zavToolsLib/zavError.h"

#include <nl_types.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "zavToolsLib/zavCatalog.h"
#include "zavToolsLib/zavStatus.h"

namespace zavToolsLib {

namespace {

constexpr uint32_t kFacilityExternal = 0x72B;  // its code is reported through 0xC721002D
constexpr uint32_t kFacilityForeign = 0x800;   // every facility above 0x7FF: 0xC721002E

// printf into a std::string.
template <typename... Args>
std::string Printf(const char* format, Args... args) {
    int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0) {
        return std::string();
    }
    std::string text(static_cast<size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

// A conversion split into what printf may see: flags, width, precision and the conversion
// character; length modifiers are dropped because the value's C type is chosen here.
struct Conversion {
    std::string flags;
    std::string width;
    std::string precision;  // with its "."
    char conversion = 's';
};

bool ParseConversion(const std::string& text, Conversion& conv) {
    size_t i = 0;
    while (i < text.size() && std::strchr("-+ #0", text[i]) != nullptr) {
        conv.flags += text[i++];
    }
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        conv.width += text[i++];
    }
    if (i < text.size() && text[i] == '.') {
        conv.precision += text[i++];
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            conv.precision += text[i++];
        }
    }
    while (i < text.size() && std::strchr("hlqjztL", text[i]) != nullptr) {
        ++i;
    }
    if (i + 1 != text.size() || std::strchr("diouxXcseEfFgGaA", text[i]) == nullptr) {
        return false;
    }
    // A width or precision of thousands of columns is a broken text, not a layout.
    if (conv.width.size() > 3 || conv.precision.size() > 4) {
        return false;
    }
    conv.conversion = text[i];
    return true;
}

// Keeps only the flags printf defines for this kind of conversion.
std::string Spec(const Conversion& conv, const char* allowedFlags, const char* length,
                 bool precision = true) {
    std::string spec = "%";
    for (char flag : conv.flags) {
        if (std::strchr(allowedFlags, flag) != nullptr) {
            spec += flag;
        }
    }
    spec += conv.width;
    if (precision) {
        spec += conv.precision;
    }
    return spec + length + conv.conversion;
}

std::string FormatText(const Conversion& conv, const std::string& value) {
    Conversion s = conv;
    s.conversion = 's';
    return Printf(Spec(s, "-", "").c_str(), value.c_str());
}

void AppendId(std::string& text, uint32_t status) {
    char id[12];
    FormatStatusId(status, id);
    text += id;
}

std::string RetrievalFailureText(int error, uint32_t status) {
    std::string text = "Status " + std::to_string(error) + " retrieving message text for [";
    AppendId(text, status);
    return text + "]";
}

int CatalogSet(uint32_t facility) {
    if (facility <= 2) {
        return static_cast<int>(facility + 1);
    }
    if (facility < 0x700) {
        return 0x7FFFFFFF;
    }
    return static_cast<int>(facility - 0x6FC);
}

}  // namespace

std::string ZAVInsert::Format(const std::string& conversion) const {
    Conversion conv;
    if (!ParseConversion(conversion, conv)) {
        conv = Conversion();
    }
    const char c = conv.conversion;
    if (const auto* text = std::get_if<std::string>(&m_value)) {
        return FormatText(conv, *text);
    }
    if (std::strchr("eEfFgGaA", c) != nullptr) {
        double value = std::visit(
            [](const auto& v) -> double {
                if constexpr (std::is_arithmetic_v<std::decay_t<decltype(v)>>) {
                    return static_cast<double>(v);
                } else {
                    return 0.0;
                }
            },
            m_value);
        return Printf(Spec(conv, "-+ #0", "").c_str(), value);
    }
    if (const auto* value = std::get_if<double>(&m_value)) {
        if (c == 's') {
            return FormatText(conv, Printf("%g", *value));
        }
        // An integer conversion of a floating value: use its integral part when it has one.
        if (!(*value > -9.2e18 && *value < 9.2e18)) {
            return FormatText(conv, Printf("%g", *value));
        }
        return ZAVInsert(static_cast<long long>(*value)).Format(conversion);
    }
    // Integers from here on.
    const bool isSigned = std::holds_alternative<long long>(m_value);
    const long long signedValue = isSigned ? std::get<long long>(m_value) : 0;
    unsigned long long unsignedValue = isSigned ? static_cast<unsigned long long>(signedValue)
                                                : std::get<unsigned long long>(m_value);
    if (isSigned && m_uBits < 64) {
        // A negative int shown as %x reads as its own 32 bits, not as 64.
        unsignedValue &= (1ULL << m_uBits) - 1;
    }
    switch (c) {
        case 'c':
            return Printf(Spec(conv, "-", "", false).c_str(), static_cast<int>(unsignedValue));
        case 'd':
        case 'i':
            if (!isSigned) {
                // A value above the signed range keeps its unsigned reading.
                Conversion u = conv;
                u.conversion = 'u';
                return Printf(Spec(u, "-0", "ll").c_str(), unsignedValue);
            }
            return Printf(Spec(conv, "-+ 0", "ll").c_str(), signedValue);
        case 's':
            return FormatText(
                conv, isSigned ? std::to_string(signedValue) : std::to_string(unsignedValue));
        default:  // o u x X
            return Printf(Spec(conv, "-#0", "ll").c_str(), unsignedValue);
    }
}

void FormatStatusId(uint32_t status, char (&id)[12]) {
    std::snprintf(id, sizeof id, status < 0x10000 ? "%u" : "0x%8.8x", status);
}

std::string ProcessInserts(const char* text, uint32_t width, const ZAVInserts& inserts) {
    std::string out;
    if (text == nullptr) {
        return out;
    }
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\n') {
            out += width != 0 ? ' ' : '\n';
            continue;
        }
        if (*p != '%') {
            out += *p;
            continue;
        }
        const char e = p[1];
        if (e == '\0') {
            out += '%';
            break;
        }
        ++p;
        switch (e) {
            case '0':
                return out;
            case 'b':
                out += ' ';
                continue;
            case 'r':
                out += '\r';
                continue;
            case '\\':
                out += '\n';
                continue;
            case '%':
            case '.':
            case '!':
                out += e;
                continue;
            default:
                break;
        }
        if (e < '1' || e > '9') {
            // Not an escape: the "%" stays and the character is read as text.
            out += '%';
            --p;
            continue;
        }
        size_t number = static_cast<size_t>(e - '0');
        if (p[1] >= '0' && p[1] <= '9') {
            number = number * 10 + static_cast<size_t>(*++p - '0');
        }
        std::string conversion = "s";
        if (p[1] == '!') {
            if (const char* close = std::strchr(p + 2, '!')) {
                conversion.assign(p + 2, close);
                p = close;
            }
        }
        if (number <= inserts.size()) {
            out += inserts[number - 1].Format(conversion);
        } else {
            out += '%' + std::to_string(number);
        }
    }
    return out;
}

std::string BreakLines(std::string text, uint32_t width) {
    if (width == 0 || width >= ZAV_MAX_LINE_WIDTH) {
        return text;
    }
    size_t lineStart = 0;
    size_t lastBlank = std::string::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            lineStart = i + 1;
            lastBlank = std::string::npos;
            continue;
        }
        if (text[i] == ' ') {
            lastBlank = i;
        }
        if (i - lineStart >= width && lastBlank != std::string::npos) {
            text[lastBlank] = '\n';
            lineStart = lastBlank + 1;
            lastBlank = std::string::npos;
        }
    }
    return text;
}

std::string RetrieveRawText(uint32_t status, const ZAVTextOptions& options,
                            const ZAVInserts& inserts) {
    uint32_t facility = (status >> 16) & 0xFFF;
    if (facility > 0x7FF) {
        facility = kFacilityForeign;
    }
    ZAVTextOptions catalogOptions = options;
    catalogOptions.bForceCatalog = true;
    if (facility == kFacilityExternal) {
        return RetrieveRawText(ZAV_E_FACILITY_72B, catalogOptions, {status & 0xFFFF});
    }
    if (facility == kFacilityForeign) {
        // Bits 26-21 go back to 29-24; all six set stand for a negative value.
        const uint32_t high = (status >> 21) & 0x3F;
        const uint32_t value = (status & 0x1FFFFF) | (high == 0x3F ? 0x80000000u : high << 24);
        return RetrieveRawText(ZAV_E_FACILITY_800, catalogOptions, {value});
    }
    if (facility == 0 && options.bSystemErrors && !options.bForceCatalog) {
        char buffer[256];
        // GNU strerror_r: thread-safe, returns the text (not always in buffer).
        return strerror_r(static_cast<int>(status), buffer, sizeof buffer);
    }
    const nl_catd catalog = GetCatalogHandle();
    if (catalog == NoCatalog()) {
        return RetrievalFailureText(2, status);
    }
    const int message = static_cast<int>((status & 0xFFFF) | (((status >> 30) ^ 3) << 13));
    errno = 0;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): glibc's catgets is thread-safe; no handle is closed
    const char* raw = catgets(catalog, CatalogSet(facility), message, nullptr);
    if (raw == nullptr) {
        return RetrievalFailureText(errno, status);
    }
    return BreakLines(ProcessInserts(raw, options.uWidth, inserts), options.uWidth);
}

std::string ComposeStatusText(std::string raw, const char* id, uint32_t width) {
    if (!raw.empty() && (raw.back() == '\n' || raw.back() == ' ')) {
        raw.pop_back();
        while (!raw.empty() && raw.back() == ' ') {
            raw.pop_back();
        }
    }
    const size_t lastLineStart = raw.rfind('\n');
    const size_t lastLine =
        lastLineStart == std::string::npos ? raw.size() : raw.size() - lastLineStart - 1;
    const bool newLine = width != 0 && width < std::strlen(id) + lastLine + 6;
    raw += newLine ? '\n' : ' ';
    raw.append("[ID=").append(id).append("]");
    if (width == 0) {
        raw += '\n';
    }
    return raw;
}

ZAVError::ZAVError(uint32_t status, int32_t catalogFlag)
    : m_uStatus(status), m_strId(), m_iCatalog(catalogFlag) {}

ZAVError::ZAVError(const ZAVError& other)
    : m_uStatus(other.m_uStatus), m_strId(), m_iCatalog(other.m_iCatalog) {
    std::memcpy(m_strId, other.m_strId, sizeof m_strId);
    if (other.m_pText) {
        SetText(other.m_pText.get());
    }
}

ZAVError& ZAVError::operator=(const ZAVError& other) {
    if (this != &other) {
        ZAVError copy(other);
        *this = std::move(copy);
    }
    return *this;
}

ZAVError::ZAVError(ZAVError&& other) noexcept = default;
ZAVError& ZAVError::operator=(ZAVError&& other) noexcept = default;
ZAVError::~ZAVError() = default;

const char* ZAVError::GetIdentifier() {
    if (m_strId[0] == '\0') {
        FormatStatusId(m_uStatus, m_strId);
    }
    return m_strId;
}

void ZAVError::SetText(const std::string& text) {
    auto buffer = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(buffer.get(), text.c_str(), text.size() + 1);
    m_pText = std::move(buffer);
}

const char* ZAVError::GetText(uint32_t width) {
    m_pText.reset();
    const char* id = GetIdentifier();
    try {
        ZAVTextOptions options;
        options.uWidth = width > ZAV_MAX_LINE_WIDTH ? ZAV_MAX_LINE_WIDTH : width;
        options.bSystemErrors = true;
        options.bForceCatalog = m_uStatus >= 0x10000 || m_iCatalog != 0;
        SetText(ComposeStatusText(RetrieveRawText(m_uStatus, options, {}), id, options.uWidth));
        return m_pText.get();
    } catch (const std::bad_alloc&) {
        // Without memory the identifier is all there is to say.
        return id;
    }
}

}  // namespace zavToolsLib
