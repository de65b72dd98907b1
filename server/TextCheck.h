// Texts that come from files and databases, checked before they are stored or written as XML,
// and quoted safely in messages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace eqsrv {

enum class TextRule {
    Import,  // UTF-8 without control characters other than tab, without U+FFFE/U+FFFF
    Xml,     // what XML 1.0 can carry: UTF-8 without controls other than tab, CR, LF, U+FFFE/FFFF
};

// Offset of the first byte that breaks the rule, with reason set to a short text saying how;
// std::string::npos when the whole text keeps it.
size_t FindBadText(std::string_view text, TextRule rule, const char*& reason);

// At most max bytes of text for a message: printable ASCII as is, every other byte and the
// backslash as \xNN, "..." when cut, so that a hostile value can neither flood nor forge output.
std::string Excerpt(std::string_view text, size_t max = 40);

}  // namespace eqsrv
