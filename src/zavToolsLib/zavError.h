// Status texts: a status with its identifier and its message-catalog text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace zavToolsLib {

// Line width used when the caller has no preference (counts as 255: lines are not broken).
constexpr uint32_t ZAV_DEFAULT_LINE_WIDTH = 320;
constexpr uint32_t ZAV_MAX_LINE_WIDTH = 255;

// One insert argument of a catalog text (%1 .. %99). Keeps the value's kind so that the printf
// conversion written in the text ("%1!d!") is applied to a value of a matching C type.
class ZAVInsert {
public:
    template <typename T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T>, int> = 0>
    ZAVInsert(T value) : m_value(static_cast<long long>(value)), m_uBits(sizeof(T) * 8) {}
    template <typename T, std::enable_if_t<std::is_integral_v<T> && std::is_unsigned_v<T>, int> = 0>
    ZAVInsert(T value) : m_value(static_cast<unsigned long long>(value)), m_uBits(sizeof(T) * 8) {}
    ZAVInsert(double value) : m_value(value) {}
    ZAVInsert(const char* value) : m_value(std::string(value != nullptr ? value : "(null)")) {}
    ZAVInsert(std::string value) : m_value(std::move(value)) {}

    // The value formatted with a printf conversion without its "%" ("s", "d", "08x", "-10s").
    // A conversion that is not a single plain printf conversion is treated as "s".
    std::string Format(const std::string& conversion) const;

private:
    std::variant<long long, unsigned long long, double, std::string> m_value;
    unsigned m_uBits = 64;  // width of the original integer, for unsigned views of negatives
};

using ZAVInserts = std::vector<ZAVInsert>;

// How a raw text is retrieved.
struct ZAVTextOptions {
    uint32_t uWidth = ZAV_MAX_LINE_WIDTH;  // 0: keep newlines; 255 and more: no line breaking
    bool bSystemErrors = true;             // facility 0 texts from the operating system
    bool bForceCatalog = false;            // look facility 0 up in the catalog too
};

// Writes the identifier of a status: "%u" below 0x10000, otherwise "0x%8.8x".
void FormatStatusId(uint32_t status, char (&id)[12]);

// Applies the catalog escape language to text: %0 ends the text, %b blank, %r carriage return,
// %\ newline, %% %. %! the character, %1..%99 an insert (optionally "%N!conversion!"); any other
// escape is kept. A newline becomes a blank unless width is 0. An insert without an argument is
// written as its escape ("%3").
std::string ProcessInserts(const char* text, uint32_t width, const ZAVInserts& inserts);

// Breaks lines longer than width at their last blank; width 0 or 255 and more leaves them.
std::string BreakLines(std::string text, uint32_t width);

// The raw text of a status, before the identifier is appended: the catalog text after insert
// processing, the operating system's text for facility 0, or "Status N retrieving message text
// for [id]" when the catalog or the message is missing.
std::string RetrieveRawText(uint32_t status, const ZAVTextOptions& options,
                            const ZAVInserts& inserts);

// Trims a trailing newline or blank and the blanks before it, then appends the identifier:
// raw text, separator (newline when the last line would not fit width), "[ID=" id "]", and a
// final newline when width is 0.
std::string ComposeStatusText(std::string raw, const char* id, uint32_t width);

// A status with its identifier and message text. Used by value.
class ZAVError {
public:
    explicit ZAVError(uint32_t status = 0, int32_t catalogFlag = 0);
    ZAVError(const ZAVError& other);
    ZAVError& operator=(const ZAVError& other);
    ZAVError(ZAVError&& other) noexcept;
    ZAVError& operator=(ZAVError&& other) noexcept;
    virtual ~ZAVError();

    uint32_t GetStatus() const { return m_uStatus; }
    const char* GetIdentifier();
    // The status text at the given line width (above 255 counts as 255). Valid until the next
    // call or the object's destruction; never null.
    const char* GetText(uint32_t width = ZAV_DEFAULT_LINE_WIDTH);

private:
    void SetText(const std::string& text);

    uint32_t m_uStatus;
    char m_strId[12];
    std::unique_ptr<char[]> m_pText;  // replaced by every GetText
    int32_t m_iCatalog;               // not 0: facility 0 statuses come from the catalog too
};

}  // namespace zavToolsLib
