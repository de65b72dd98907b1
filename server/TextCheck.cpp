#include "TextCheck.h"

#include <cstdint>
#include <cstdio>

namespace eqsrv {

namespace {

// The code point at text[at] and its length; 0 when the bytes there are not UTF-8 (overlong
// forms, surrogates and values above U+10FFFF included).
size_t Decode(std::string_view text, size_t at, uint32_t& code) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0u) != 0x80u) return 0;
        code = (code << 6) | (byte(at + i) & 0x3Fu);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

}  // namespace

size_t FindBadText(std::string_view text, TextRule rule, const char*& reason) {
    for (size_t at = 0; at < text.size();) {
        uint32_t code = 0;
        const size_t length = Decode(text, at, code);
        if (length == 0) {
            reason = "invalid UTF-8";
            return at;
        }
        const bool control = rule == TextRule::Import
                                 ? (code < 0x20 && code != '\t') || (code >= 0x7F && code <= 0x9F)
                                 : code < 0x20 && code != '\t' && code != '\n' && code != '\r';
        if (control) {
            reason = "a control character";
            return at;
        }
        if (code == 0xFFFE || code == 0xFFFF) {
            reason = "a noncharacter";
            return at;
        }
        at += length;
    }
    return std::string::npos;
}

std::string Excerpt(std::string_view text, size_t max) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size() && i < max; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte >= 0x7F || byte == '\\') {
            char hex[5];
            std::snprintf(hex, sizeof(hex), "\\x%02x", byte);
            out += hex;
        } else {
            out += static_cast<char>(byte);
        }
    }
    out += text.size() > max ? "\"..." : "\"";
    return out;
}

}  // namespace eqsrv
