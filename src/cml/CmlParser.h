// The CML parser: bytes or a file into a DOM document through the XML parser library, with or
// without XML Schema validation. Every parser complaint reaches the caller as CCmlException; a
// failed validating parse as CSchemaException, listing the elements whose schema-version this
// library cannot read. DeserializeBuffer and DeserializeFile parse and build the CML object in
// one call.
#pragma once

#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/InputSource.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "cml/CmlClassFactory.h"
#include "cml/CmlDOM_Document.h"
#include "cml/CmlDOM_Element.h"
#include "cml/CmlDocumentBase.h"
#include "cml/CmlNamespace.h"
#include "cml/CmlSaxErrorHandler.h"
#include "cml/CmlSchemaException.h"

namespace zav::cml {

// Validation modes of a parse and of a parser.
constexpr uint32_t CML_VALIDATE = 1;       // validate against schemas
constexpr uint32_t CML_DONT_VALIDATE = 2;  // never validate
constexpr uint32_t CML_VALIDATE_DEFAULT =
    3;  // the parser's mode; for a parser, the library default

// The instance set holds the namespace with another version than the implicit set.
constexpr uint32_t CML_E_IMPLICIT_NAMESPACE_CONFLICT = 0xC7380024u;

// Names the parser in trace output.
inline constexpr wchar_t CML_PARSER_FACILITY[] = L"CML Parser";

// ---- Process-wide parser settings (unlocked: set them up before parsing starts) -----------------
// Whether a parse in mode 3 by a parser in mode 3 validates. Initially true; the setter returns
// the previous value.
bool GetDefaultValidation();
bool SetDefaultValidation(bool validate);
// The schema-version expected on the outer root of compound documents, initially "1.0.1".
const std::wstring& GetProcessMessageVersion();
void SetProcessMessageVersion(const std::wstring& version);
// Schema folder used when a parse names none; initially empty (no external schema locations).
const std::wstring& GetLibrarySchemaFolder();
void SetLibrarySchemaFolder(const std::wstring& folder);
// The implicit namespace set, shared by all parsers. Another version for a namespace already in
// the set raises CCmlException 0xC738000E; the same version again is accepted.
void AddImplicitNamespace(const std::wstring& namespaceURI, const std::wstring& version);
void RemoveImplicitNamespace(const std::wstring& namespaceURI);
void ClearImplicitNamespaces();
const NamespaceSet& GetImplicitNamespaces();

// The parser library's DOM parser, created once the platform is up.
class CCmlDOMParser : public xercesc::XercesDOMParser {
public:
    CCmlDOMParser();
    ~CCmlDOMParser() override;
};

class CCmlParser {
public:
    explicit CCmlParser(uint32_t validationMode = CML_VALIDATE_DEFAULT);
    CCmlParser(const CCmlParser&) = delete;
    CCmlParser& operator=(const CCmlParser&) = delete;

    // Adds to this parser's namespace set, used for external schema locations and the
    // compatibility check. Conflicts with the implicit set raise 0xC7380024, with this
    // parser's set 0xC738000E; the same version twice is accepted.
    virtual void AddNamespace(const std::wstring& namespaceURI, const std::wstring& version);
    virtual void RemoveNamespace(const std::wstring& namespaceURI);
    virtual void ClearNamespaces();

    // An empty folder means the library schema folder.
    virtual void ParseFile(const wchar_t* path, uint32_t mode = CML_VALIDATE_DEFAULT,
                           const std::wstring& folder = std::wstring());
    // UTF-8 path.
    virtual void ParseFile(const char* path, uint32_t mode = CML_VALIDATE_DEFAULT,
                           const std::wstring& folder = std::wstring());
    // The bytes are not copied and must stay valid during the call.
    virtual void ParseBuffer(const unsigned char* bytes, std::size_t length,
                             uint32_t mode = CML_VALIDATE_DEFAULT,
                             const std::wstring& folder = std::wstring());
    virtual ~CCmlParser();

    // Root information of the last successful parse.
    virtual const std::wstring& GetRootTagName() const { return m_strRootTagName; }
    virtual const std::wstring& GetRootNamespace() const { return m_strRootNamespace; }
    virtual const std::wstring& GetRootSchemaVersion() const { return m_strRootSchemaVersion; }
    // Not owning; valid until the next parse or the parser's destruction.
    virtual CCmlDOM_Element GetDocumentElement() const;
    virtual const NamespaceSet& GetNamespaces() const { return m_instanceNamespaces; }
    virtual const CCmlSaxErrorHandler& GetErrorHandler() const { return m_errorHandler; }
    virtual uint32_t GetValidationMode() const { return m_uValidationMode; }
    virtual void SetValidationMode(uint32_t mode) { m_uValidationMode = mode; }
    // Owned by the parser.
    virtual const CCmlDOM_Document& GetDocument() const { return m_document; }

    // Validating parse; a failure becomes CSchemaException with the incompatibilities found.
    // The check re-reads the input, so after a failure the parser holds the document as read
    // without validation (or the previous one, when even that read fails).
    virtual void ParseValidating(const xercesc::InputSource& input, const std::wstring& folder);
    virtual void ParseNonValidating(const xercesc::InputSource& input);
    // Validating when mode is 1, or 3 with a parser mode of 1, or 3 with a parser mode of 3 and
    // the library default on.
    virtual void Parse(const xercesc::InputSource& input, uint32_t mode,
                       const std::wstring& folder);
    // Re-reads the input without validation and adds (namespace, expected, found) for every
    // schema-version this library cannot read.
    virtual void CheckSchemaCompatibility(const xercesc::InputSource& input,
                                          SchemaIncompatibilitySet& incompatibilities);
    // "namespace location" pairs, separated by blanks, for the implicit set and then this
    // parser's set; empty when neither folder nor library schema folder is set.
    virtual void BuildExternalSchemaLocation(std::wstring& location,
                                             const std::wstring& folder) const;
    virtual void DoParse(const xercesc::InputSource& input);

private:
    // The document is declared after the DOM parser so that it goes first.
    CCmlDOMParser m_parser;
    CCmlDOM_Document m_document;
    std::wstring m_strRootTagName;
    std::wstring m_strRootNamespace;
    std::wstring m_strRootSchemaVersion;
    NamespaceSet m_instanceNamespaces;
    CCmlSaxErrorHandler m_errorHandler;
    uint32_t m_uValidationMode;
};

// Parses and reads the document element through the class factory in one call. With mode 1 the
// namespaces (may be null) are added to the parser for validation. Returns the new object, or
// null when no class is registered for the document element.
std::unique_ptr<CCmlDocumentBase> DeserializeBuffer(const unsigned char* bytes, std::size_t length,
                                                    uint32_t mode = CML_DONT_VALIDATE,
                                                    const NamespaceSet* namespaces = nullptr,
                                                    const std::wstring& folder = std::wstring(),
                                                    int lookupMode = CML_LOOKUP_MATCH);
std::unique_ptr<CCmlDocumentBase> DeserializeFile(const wchar_t* path,
                                                  uint32_t mode = CML_DONT_VALIDATE,
                                                  const NamespaceSet* namespaces = nullptr,
                                                  const std::wstring& folder = std::wstring(),
                                                  int lookupMode = CML_LOOKUP_MATCH);
std::unique_ptr<CCmlDocumentBase> DeserializeFile(const char* path,
                                                  uint32_t mode = CML_DONT_VALIDATE,
                                                  const NamespaceSet* namespaces = nullptr,
                                                  const std::wstring& folder = std::wstring(),
                                                  int lookupMode = CML_LOOKUP_MATCH);

}  // namespace zav::cml
