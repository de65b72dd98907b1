#include "cml/CmlWriter.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "cml/CmlException.h"
#include "zavToolsLib/CZavCodecvt.h"
#include "zavToolsLib/ConvertUTF.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml {

namespace {

uint32_t g_uIndentWidth = 4;
bool g_bSerializeDefaults = false;

// ---- Character output, one overload per stream kind, used by the templates below.
void Put(std::wostream& os, std::wstring_view text) {
    os.write(text.data(), static_cast<std::streamsize>(text.size()));
}
// Bytes into the stream's buffer. A tag is written in many small pieces, and a sentry per piece
// costs more than the piece: a stream without a tie or unitbuf needs none for them.
void PutBytes(std::ostream& os, const char* bytes, std::size_t n) {
    if (os.tie() != nullptr || (os.flags() & std::ios::unitbuf) != 0 || !os.good() ||
        os.rdbuf() == nullptr) {
        os.write(bytes, static_cast<std::streamsize>(n));
        return;
    }
    if (os.rdbuf()->sputn(bytes, static_cast<std::streamsize>(n)) !=
        static_cast<std::streamsize>(n)) {
        os.setstate(std::ios::badbit);
    }
}

// Narrow streams: ASCII goes out as it is, which is what every conversion facet makes of it, in
// runs without consulting the locale; only other characters go through the stream's facet.
void Put(std::ostream& os, std::wstring_view text) {
    char buffer[256];
    const wchar_t* p = text.data();
    const wchar_t* const end = p + text.size();
    while (p < end) {
        const wchar_t* const stop = end - p > 256 ? p + 256 : end;
        char* out = buffer;
        while (p < stop && static_cast<uint32_t>(*p) < 0x80) *out++ = static_cast<char>(*p++);
        if (out != buffer) PutBytes(os, buffer, static_cast<std::size_t>(out - buffer));
        const wchar_t* wide = p;
        while (wide < end && static_cast<uint32_t>(*wide) >= 0x80) ++wide;
        if (wide != p) {
            zavToolsLib::WriteWide(os, std::wstring_view(p, static_cast<std::size_t>(wide - p)));
            p = wide;
        }
    }
}

// The pieces of one tag or attribute, gathered so that a narrow stream gets them in one call.
// Flush writes them; nothing is written on destruction, so that a failing stream may throw.
template <class Stream>
class CPieces;

template <>
class CPieces<std::wostream> {
public:
    explicit CPieces(std::wostream& os) : m_os(os) {}
    void Add(std::wstring_view text) { Put(m_os, text); }
    void Flush() {}

private:
    std::wostream& m_os;
};

template <>
class CPieces<std::ostream> {
public:
    // m_buffer is written before it is read, up to m_uUsed: clearing it would cost every tag.
    // cppcheck-suppress uninitMemberVar
    explicit CPieces(std::ostream& os) : m_os(os) {}
    void Add(std::wstring_view text) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const wchar_t c = text[i];
            if (static_cast<uint32_t>(c) >= 0x80 || m_uUsed == sizeof m_buffer) {
                Flush();
                Put(m_os, text.substr(i));
                return;
            }
            m_buffer[m_uUsed++] = static_cast<char>(c);
        }
    }
    void Blanks(std::size_t n) {
        if (n > sizeof m_buffer - m_uUsed) Flush();
        for (; n > sizeof m_buffer; n -= sizeof m_buffer / 2) {
            std::memset(m_buffer, ' ', sizeof m_buffer / 2);
            PutBytes(m_os, m_buffer, sizeof m_buffer / 2);
        }
        std::memset(m_buffer + m_uUsed, ' ', n);
        m_uUsed += n;
    }
    void Flush() {
        if (m_uUsed != 0) PutBytes(m_os, m_buffer, m_uUsed);
        m_uUsed = 0;
    }

private:
    std::ostream& m_os;
    char m_buffer[512];
    std::size_t m_uUsed = 0;
};

template <class Stream>
void Put(CPieces<Stream>& pieces, std::wstring_view text) {
    pieces.Add(text);
}

// The replacement of one character, or null when it is copied.
template <class Ch>
const Ch* Escape(Ch c, bool lineFeed);

template <>
const wchar_t* Escape<wchar_t>(wchar_t c, bool lineFeed) {
    switch (c) {
        case L'\n':
            return lineFeed ? L"&#xa;" : nullptr;
        case L'"':
            return L"&quot;";
        case L'&':
            return L"&amp;";
        case L'\'':
            return L"&apos;";
        case L'<':
            return L"&lt;";
        case L'>':
            return L"&gt;";
        default:
            return nullptr;
    }
}

template <>
const char* Escape<char>(char c, bool lineFeed) {
    switch (c) {
        case '\n':
            return lineFeed ? "&#xa;" : nullptr;
        case '"':
            return "&quot;";
        case '&':
            return "&amp;";
        case '\'':
            return "&apos;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        default:
            return nullptr;
    }
}

template <class Ch>
std::basic_string<Ch> Translate(const Ch* text, bool lineFeed, const wchar_t* context) {
    if (text == nullptr) {
        throw CCmlException(context, L"NULL pointer received", zavToolsLib::ZAV_E_INVALID_ARG);
    }
    std::basic_string<Ch> out;
    for (const Ch* p = text; *p != 0; ++p) {
        if (const Ch* replacement = Escape(*p, lineFeed)) {
            out += replacement;
        } else {
            out += *p;
        }
    }
    return out;
}

constexpr wchar_t kAttributeContext[] = L"Translating XML attribute value";
constexpr wchar_t kContentContext[] = L"Translating XML content";

// The escaped text straight into the stream, as TranslateAttributeValue or TranslateContent
// would make it: the text ends at its first NUL, as a C string does.
template <class Stream>
void PutEscaped(Stream& os, std::wstring_view text, bool lineFeed) {
    text = text.substr(0, text.find(L'\0'));
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] > L'>') continue;  // above every character that is escaped
        if (const wchar_t* replacement = Escape(text[i], lineFeed)) {
            Put(os, text.substr(start, i - start));
            Put(os, replacement);
            start = i + 1;
        }
    }
    Put(os, text.substr(start));
}

// level times the indentation width blanks, without building a string for them.
void Indent(CPieces<std::ostream>& pieces, uint32_t level) {
    pieces.Blanks(static_cast<std::size_t>(level) * g_uIndentWidth);
}

template <class Stream>
void Indent(Stream& os, uint32_t level) {
    static constexpr std::wstring_view kBlanks = L"                                ";
    for (std::size_t n = static_cast<std::size_t>(level) * g_uIndentWidth; n != 0;) {
        const std::size_t chunk = std::min(n, kBlanks.size());
        Put(os, kBlanks.substr(0, chunk));
        n -= chunk;
    }
}

template <class Stream>
void LineEnd(Stream& os) {
    os << std::endl;
}

template <class Stream>
void Attribute(Stream& os, std::wstring_view name, std::wstring_view value) {
    CPieces<Stream> pieces(os);
    Put(pieces, L" ");
    Put(pieces, name);
    Put(pieces, L"='");
    Put(pieces, value);
    Put(pieces, L"'");
    pieces.Flush();
}

template <class Stream>
void StartTagOpen(Stream& os, uint32_t level, std::wstring_view tag) {
    CPieces<Stream> pieces(os);
    Indent(pieces, level);
    Put(pieces, L"<");
    Put(pieces, tag);
    pieces.Flush();
}

template <class Stream>
void StartTag(Stream& os, uint32_t level, std::wstring_view tag) {
    StartTagOpen(os, level, tag);
    Put(os, L">");
    LineEnd(os);
}

template <class Stream>
void EndTag(Stream& os, uint32_t level, std::wstring_view tag) {
    CPieces<Stream> pieces(os);
    Indent(pieces, level);
    Put(pieces, L"</");
    Put(pieces, tag);
    Put(pieces, L">");
    pieces.Flush();
    LineEnd(os);
}

template <class Stream>
void TextElement(Stream& os, uint32_t level, std::wstring_view tag, std::wstring_view text) {
    StartTagOpen(os, level, tag);
    Put(os, L">");
    Put(os, TranslateContent(std::wstring(text)));
    EndTag(os, 0, tag);
}

template <class Stream>
void Declaration(Stream& os, const wchar_t* encoding, bool standalone) {
    Put(os, L"<?xml version='1.0' encoding='");
    Put(os, encoding);
    Put(os, standalone ? L"' standalone='yes'?>" : L"' standalone='no'?>");
    LineEnd(os);
}

// "xmlns='ns' schema-version='version'>" at level 1: the end of a multi-line root start tag.
template <class Stream>
void RootAttributes(Stream& os, std::wstring_view namespaceURI, std::wstring_view version) {
    Indent(os, 1);
    Put(os, L"xmlns='");
    Put(os, namespaceURI);
    Put(os, L"' schema-version='");
    Put(os, version);
    Put(os, L"'>");
    LineEnd(os);
}

// mkdir -p with mode 0755; true when the folder exists afterwards.
bool CreateFolders(const std::string& folder) {
    std::string::size_type pos = 0;
    while (true) {
        pos = folder.find_first_of("/\\", pos + 1);
        const std::string part = folder.substr(0, pos);
        if (!part.empty() && ::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            return false;
        }
        if (pos == std::string::npos) {
            break;
        }
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

void SetIndentWidth(uint32_t width) { g_uIndentWidth = width; }
uint32_t GetIndentWidth() { return g_uIndentWidth; }
bool GetSerializeDefaults() { return g_bSerializeDefaults; }

bool SetSerializeDefaults(bool serializeDefaults) {
    const bool previous = g_bSerializeDefaults;
    g_bSerializeDefaults = serializeDefaults;
    return previous;
}

std::wstring GetIndentString(uint32_t level) {
    return std::wstring(static_cast<std::size_t>(level) * g_uIndentWidth, L' ');
}

std::wstring TranslateAttributeValue(const wchar_t* text) {
    return Translate(text, true, kAttributeContext);
}
std::string TranslateAttributeValue(const char* text) {
    return Translate(text, true, kAttributeContext);
}
std::wstring TranslateContent(const wchar_t* text) {
    return Translate(text, false, kContentContext);
}
std::string TranslateContent(const char* text) { return Translate(text, false, kContentContext); }

void WriteText(std::wostream& os, std::wstring_view text) { Put(os, text); }
void WriteText(std::ostream& os, std::wstring_view text) { Put(os, text); }
void WriteLineEnd(std::wostream& os) { LineEnd(os); }
void WriteLineEnd(std::ostream& os) { LineEnd(os); }
void WriteIndent(std::wostream& os, uint32_t level) { Indent(os, level); }
void WriteIndent(std::ostream& os, uint32_t level) { Indent(os, level); }

void WriteStartTagOpen(std::wostream& os, uint32_t level, std::wstring_view tag) {
    StartTagOpen(os, level, tag);
}
void WriteStartTagOpen(std::ostream& os, uint32_t level, std::wstring_view tag) {
    StartTagOpen(os, level, tag);
}
void WriteStartTag(std::wostream& os, uint32_t level, std::wstring_view tag) {
    StartTag(os, level, tag);
}
void WriteStartTag(std::ostream& os, uint32_t level, std::wstring_view tag) {
    StartTag(os, level, tag);
}
void WriteEndTag(std::wostream& os, uint32_t level, std::wstring_view tag) {
    EndTag(os, level, tag);
}
void WriteEndTag(std::ostream& os, uint32_t level, std::wstring_view tag) {
    EndTag(os, level, tag);
}

void WriteAttribute(std::wostream& os, std::wstring_view name, std::wstring_view value) {
    Attribute(os, name, value);
}
void WriteAttribute(std::ostream& os, std::wstring_view name, std::wstring_view value) {
    Attribute(os, name, value);
}
namespace {
template <class Stream>
void EscapedAttribute(Stream& os, std::wstring_view name, std::wstring_view value) {
    CPieces<Stream> pieces(os);
    Put(pieces, L" ");
    Put(pieces, name);
    Put(pieces, L"='");
    PutEscaped(pieces, value, true);
    Put(pieces, L"'");
    pieces.Flush();
}
}  // namespace

void WriteEscapedAttribute(std::wostream& os, std::wstring_view name, std::wstring_view value) {
    EscapedAttribute(os, name, value);
}
void WriteEscapedAttribute(std::ostream& os, std::wstring_view name, std::wstring_view value) {
    EscapedAttribute(os, name, value);
}

void WriteTextElement(std::wostream& os, uint32_t level, std::wstring_view tag,
                      std::wstring_view text) {
    TextElement(os, level, tag, text);
}
void WriteTextElement(std::ostream& os, uint32_t level, std::wstring_view tag,
                      std::wstring_view text) {
    TextElement(os, level, tag, text);
}

void WriteXmlDeclaration(std::ostream& os, bool standalone) {
    Declaration(os, L"UTF-8", standalone);
}

void WriteXmlDeclaration(std::wostream& os, bool standalone) {
    // A wide file stream is written through a UTF-8 facet; a string stream keeps code points.
    const wchar_t* encoding = nullptr;
    if (dynamic_cast<std::wofstream*>(&os) != nullptr ||
        dynamic_cast<std::wfstream*>(&os) != nullptr) {
        encoding = L"UTF-8";
    } else if (dynamic_cast<std::wostringstream*>(&os) != nullptr ||
               dynamic_cast<std::wstringstream*>(&os) != nullptr) {
        encoding = L"UCS4";
    } else {
        throw CCmlException(L"Writing XML declaration", L"Unsupported stream type",
                            zavToolsLib::ZAV_E_INVALID_ARG);
    }
    Declaration(os, encoding, standalone);
}

void WriteRootAttributes(std::wostream& os, std::wstring_view namespaceURI,
                         std::wstring_view schemaVersion) {
    RootAttributes(os, namespaceURI, schemaVersion);
}
void WriteRootAttributes(std::ostream& os, std::wstring_view namespaceURI,
                         std::wstring_view schemaVersion) {
    RootAttributes(os, namespaceURI, schemaVersion);
}

std::wstring BuildSchemaFileName(std::wstring_view namespaceURI, std::wstring_view version,
                                 std::wstring_view folder) {
    std::wstring v(version);
    for (wchar_t& c : v) {
        if (c == L'.') {
            c = L'_';
        }
    }
    const std::wstring_view base = NAMESPACE_BASE;
    std::wstring path(folder);
    if (namespaceURI == base) {
        return path + L"/Zav" + v + L".xsd";
    }
    if (namespaceURI.substr(0, base.size()) != base) {
        throw CCmlException(L"Building schema filename", L"Invalid namespace",
                            CML_E_UNRECOGNIZED_NAMESPACE);
    }
    const std::wstring_view relative = namespaceURI.substr(base.size());
    const std::wstring_view last = namespaceURI.substr(namespaceURI.rfind(L'/') + 1);
    path += relative;
    path += L'/';
    path += last;
    return path + v + L".xsd";
}

void WriteToFile(const char* path, const wchar_t* context,
                 const std::function<void(std::ostream&)>& write) {
    if (path == nullptr) {
        throw CCmlException(context, L"NULL pointer received", zavToolsLib::ZAV_E_INVALID_ARG);
    }
    const std::string file(path);
    const auto slash = file.find_last_of("/\\");
    if (slash != std::string::npos && slash != 0) {
        const std::string folder = file.substr(0, slash);
        if (!CreateFolders(folder)) {
            throw CCmlException(
                context,
                L"Unable to create folder; path = '" + zavToolsLib::FromUtf8(folder) + L"'",
                zavToolsLib::ZAV_E_FOLDER_CREATE);
        }
    }
    // Imbued before opening: the file is written through the UTF-8 facet from its first byte.
    std::ofstream os;
    zavToolsLib::CZavCodecvt::Imbue(os);
    os.open(file, std::ios::out | std::ios::trunc);
    if (!os.is_open()) {
        throw CCmlException(context, L"Unable to open file '" + zavToolsLib::FromUtf8(file) + L"'",
                            zavToolsLib::ZAV_E_FILE_OPEN);
    }
    write(os);
}

}  // namespace zav::cml
