// Writing CML documents as text. CML objects write their own XML straight into output streams;
// these are the shared rules every writer follows: declarations, the root start tag with its
// schema locations, indentation, escaping, attributes and whole documents.
//
// Every writer exists for a wide and for a narrow stream and writes the same characters. Text is
// held as wide strings; on a narrow stream it goes through the codecvt facet of the stream's
// locale, so the whole-document writers imbue narrow streams with the UTF-8 locale of
// CZavCodecvt while they run (see CZavLocaleScope). Line ends are a newline and a flush.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cml/CmlNamespace.h"

namespace zav::cml {

class CCmlDocumentBase;

// The XML Schema-instance namespace, declared under the prefix xsi on every document root.
inline constexpr wchar_t XSI_NAMESPACE_URI[] = L"http://www.w3.org/2001/XMLSchema-instance";
// Folder of the schema files named in xsi:schemaLocation.
inline constexpr wchar_t SCHEMA_FOLDER[] = L"./schemas";

// ---- Library-wide settings (process-wide and unlocked: set them before writing starts) --------
void SetIndentWidth(uint32_t width);
uint32_t GetIndentWidth();
// Whether values equal to their defaults (need-reply='true', code='0x0', attributes filled in
// from a schema default) are written. Off at load time. The setter returns the previous value.
bool GetSerializeDefaults();
bool SetSerializeDefaults(bool serializeDefaults);

// level times the indentation width blanks.
std::wstring GetIndentString(uint32_t level);

// ---- Escaping -----------------------------------------------------------------------------------
// Attribute values: line feed -> "&#xa;", '"' -> "&quot;", '&' -> "&amp;", '\'' -> "&apos;",
// '<' -> "&lt;", '>' -> "&gt;". Content: the same without the line feed, which stays as it is.
// The narrow forms work byte by byte. A null pointer raises CCmlException (0xC7210003).
std::wstring TranslateAttributeValue(const wchar_t* text);
std::string TranslateAttributeValue(const char* text);
std::wstring TranslateContent(const wchar_t* text);
std::string TranslateContent(const char* text);
inline std::wstring TranslateAttributeValue(const std::wstring& text) {
    return TranslateAttributeValue(text.c_str());
}
inline std::string TranslateAttributeValue(const std::string& text) {
    return TranslateAttributeValue(text.c_str());
}
inline std::wstring TranslateContent(const std::wstring& text) {
    return TranslateContent(text.c_str());
}
inline std::string TranslateContent(const std::string& text) {
    return TranslateContent(text.c_str());
}

// ---- Pieces of an element ----------------------------------------------------------------------
// Text as it is (no escaping); on a narrow stream through the stream's conversion facet.
void WriteText(std::wostream& os, std::wstring_view text);
void WriteText(std::ostream& os, std::wstring_view text);
void WriteLineEnd(std::wostream& os);
void WriteLineEnd(std::ostream& os);
void WriteIndent(std::wostream& os, uint32_t level);
void WriteIndent(std::ostream& os, uint32_t level);
// Indentation, "<" and the tag name; the caller adds attributes and closes the tag.
void WriteStartTagOpen(std::wostream& os, uint32_t level, std::wstring_view tag);
void WriteStartTagOpen(std::ostream& os, uint32_t level, std::wstring_view tag);
// A whole start tag without attributes on a line of its own: "<tag>" and a line end.
void WriteStartTag(std::wostream& os, uint32_t level, std::wstring_view tag);
void WriteStartTag(std::ostream& os, uint32_t level, std::wstring_view tag);
// "</tag>" on a line of its own.
void WriteEndTag(std::wostream& os, uint32_t level, std::wstring_view tag);
void WriteEndTag(std::ostream& os, uint32_t level, std::wstring_view tag);
// " name='value'" with the value as it is: for identifiers the library generates itself.
void WriteAttribute(std::wostream& os, std::wstring_view name, std::wstring_view value);
void WriteAttribute(std::ostream& os, std::wstring_view name, std::wstring_view value);
// " name='value'" with the value escaped: for free text.
void WriteEscapedAttribute(std::wostream& os, std::wstring_view name, std::wstring_view value);
void WriteEscapedAttribute(std::ostream& os, std::wstring_view name, std::wstring_view value);
// "<tag>" + escaped text + "</tag>" on a line of its own.
void WriteTextElement(std::wostream& os, uint32_t level, std::wstring_view tag,
                      std::wstring_view text);
void WriteTextElement(std::ostream& os, uint32_t level, std::wstring_view tag,
                      std::wstring_view text);
// A whole element: "<tag", the attributes, then "/>" when it has no content, otherwise ">",
// the content one level deeper and "</tag>". Works on wide and narrow streams alike.
template <class Stream, class Attributes, class Content>
void WriteElement(Stream& os, uint32_t level, std::wstring_view tag, bool hasContent,
                  Attributes&& writeAttributes, Content&& writeContent) {
    WriteStartTagOpen(os, level, tag);
    writeAttributes(os);
    if (!hasContent) {
        WriteText(os, L"/>");
        WriteLineEnd(os);
        return;
    }
    WriteText(os, L">");
    WriteLineEnd(os);
    writeContent(os, level + 1);
    WriteEndTag(os, level, tag);
}

// ---- Documents ----------------------------------------------------------------------------------
// "<?xml version='1.0' encoding='UTF-8' standalone='no'?>" (or 'yes') and a line end. A wide
// file stream is declared UTF-8, a wide string stream UCS4; any other wide stream raises
// CCmlException (0xC7210003).
void WriteXmlDeclaration(std::ostream& os, bool standalone);
void WriteXmlDeclaration(std::wostream& os, bool standalone);

// The declaration (standalone='no'), "<" + root tag + " xmlns:xsi='...'", a line end and, for a
// non-empty set, "    xsi:schemaLocation='" with one "namespace path" pair per entry in set
// order (later pairs on lines of their own, four blanks in). Ends right after the closing quote
// of xsi:schemaLocation (or after the line end when the set is empty); the caller finishes the
// start tag. Raises "Invalid namespace" for a namespace outside the namespace base.
void WriteRootStart(std::wostream& os, std::wstring_view rootTag, const NamespaceSet& namespaces);
void WriteRootStart(std::ostream& os, std::wstring_view rootTag, const NamespaceSet& namespaces);

// Indentation of level 1, "xmlns='ns' schema-version='version'>" and a line end: the last line of
// a root start tag whose attributes stand on a line of their own (compound documents).
void WriteRootAttributes(std::wostream& os, std::wstring_view namespaceURI,
                         std::wstring_view schemaVersion);
void WriteRootAttributes(std::ostream& os, std::wstring_view namespaceURI,
                         std::wstring_view schemaVersion);

// The schema file of a namespace and version under folder, for example
// ./schemas/cml/Message/EventQueryMessages/EventQueryMessages1_0_0.xsd; the namespace base
// itself gives ./schemas/Zav1_0_1.xsd. A namespace outside the base raises "Invalid namespace"
// (0xC738000A).
std::wstring BuildSchemaFileName(std::wstring_view namespaceURI, std::wstring_view version,
                                 std::wstring_view folder = SCHEMA_FOLDER);

// The whole document with doc as root element: root start with doc's namespaces, its attributes,
// its content at level 1 and the end tag. Behind CCmlDocumentBase::Serialize; the narrow form
// writes UTF-8. The namespace set is collected before anything is written.
void SerializeDocument(const CCmlDocumentBase& doc, std::wostream& os);
void SerializeDocument(const CCmlDocumentBase& doc, std::ostream& os);
// Creates the file's folder (0755, parents included), truncates the file and writes
// doc.Serialize (narrow) into it as UTF-8. Behind CCmlDocumentBase::SerializeToFile.
void SerializeDocumentToFile(const CCmlDocumentBase& doc, const char* path);
void SerializeDocumentToFile(const CCmlDocumentBase& doc, const wchar_t* path);

// One document holding several compound messages under a zav and a cml element. An empty list
// raises "Empty message vector" (0xC7210003).
void GenerateDocument(const std::vector<const CCmlDocumentBase*>& messages, std::wostream& os);
void GenerateDocument(const std::vector<const CCmlDocumentBase*>& messages, std::ostream& os);
// The same for a list of pointers to a derived class, such as CCmlMessage.
template <class Message>
void GenerateDocument(const std::vector<Message*>& messages, std::wostream& os) {
    GenerateDocument(std::vector<const CCmlDocumentBase*>(messages.begin(), messages.end()), os);
}
template <class Message>
void GenerateDocument(const std::vector<Message*>& messages, std::ostream& os) {
    GenerateDocument(std::vector<const CCmlDocumentBase*>(messages.begin(), messages.end()), os);
}

// ---- Files --------------------------------------------------------------------------------------
// Creates the folder part of path (up to the last '/' or '\\') and its missing parents with mode
// 0755, then opens path truncated as a narrow stream imbued with the UTF-8 locale, and runs write
// on it. Failures raise CCmlException under context: "NULL pointer received" (0xC7210003),
// "Unable to create folder; path = '...'" (0xC7210037), "Unable to open file '...'"
// (0xC7210021).
void WriteToFile(const char* path, const wchar_t* context,
                 const std::function<void(std::ostream&)>& write);

}  // namespace zav::cml
