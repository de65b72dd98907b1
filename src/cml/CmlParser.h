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
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cml/CmlClassFactory.h"
#include "cml/CmlDOM_Document.h"
#include "cml/CmlDOM_Element.h"
#include "cml/CmlDocumentBase.h"
#include "cml/CmlMemoryBudget.h"
#include "cml/CmlNamespace.h"
#include "cml/CmlReadLimits.h"
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

// The parser library's DOM parser, created once the platform is up. It never reads a document
// type declaration, and with limits set it checks every node against them as the node is read,
// before it is added to the tree.
class CCmlDOMParser : public xercesc::XercesDOMParser {
public:
    // The memory manager must outlive the parser and its documents.
    explicit CCmlDOMParser(CCmlMemoryBudget& memory);
    ~CCmlDOMParser() override;

    // Null: no limits. The limits must outlive the parses; inputSize is the document's size in
    // bytes (0 when unknown: no memory budget).
    void SetReadLimits(const CCmlReadLimits* limits, std::size_t inputSize);
    // Raises CML_E_LIMIT_EXCEEDED once the parse has gone over its memory budget (checked at every
    // node the parser reports, and at the end).
    void CheckMemoryBudget() const;

    void startDocument() override;
    void startElement(const xercesc::XMLElementDecl& elemDecl, const unsigned int urlId,
                      const XMLCh* const elemPrefix,
                      const xercesc::RefVectorOf<xercesc::XMLAttr>& attrList,
                      const XMLSize_t attrCount, const bool isEmpty, const bool isRoot) override;
    void endElement(const xercesc::XMLElementDecl& elemDecl, const unsigned int urlId,
                    const bool isRoot, const XMLCh* const elemPrefix) override;
    void docCharacters(const XMLCh* const chars, const XMLSize_t length,
                       const bool cdataSection) override;
    void docComment(const XMLCh* const comment) override;
    void docPI(const XMLCh* const target, const XMLCh* const data) override;

private:
    void CheckValueLength(std::size_t length) const;
    // A block that ended up with no element in it (the blocks in it were empty) is read as
    // nothing: it leaves the tree at once.
    void DropEmptyBlock();
    void FlushPendingSpace();
    void KeepOrDropPendingSpace();

    // What becomes of the element about to start (see CStartTagReader): built (0), left out
    // (< 0) or taken with the sort given to its children (> 0).
    int StartTagFate(const xercesc::XMLElementDecl& elemDecl, unsigned int urlId,
                     const xercesc::RefVectorOf<xercesc::XMLAttr>& attributes, XMLSize_t count);
    bool HasParentElement() const;
    bool InSkippedContent() const {
        return !m_open.empty() && (m_open.back().flags & (kSkipped | kDeferred)) != 0;
    }
    // A block is built once an element starts in it: most blocks of a hostile answer are empty.
    void DeferBlock(const xercesc::XMLElementDecl& elemDecl, unsigned int urlId,
                    const XMLCh* prefix, const xercesc::RefVectorOf<xercesc::XMLAttr>& attributes,
                    XMLSize_t count);
    void BuildDeferredBlock();

    CCmlMemoryBudget& m_memory;
    const CCmlReadLimits* m_pLimits = nullptr;
    std::size_t m_uTextRun = 0;  // characters of the text node being read
    // With limits, whitespace between elements (the indentation of an answer) makes no text
    // node: a node costs the tree more than most elements' text. It is held back here and kept
    // only when its element turns out to have no child elements.
    std::basic_string<XMLCh> m_pendingSpace;
    // With limits, per open element (their count is the depth): a child element has started;
    // the element is not in the tree.
    static constexpr uint8_t kChildSeen = 1;
    static constexpr uint8_t kSkipped = 2;   // left out or taken
    static constexpr uint8_t kDeferred = 4;  // a block not built yet (at most one, the last)
    struct COpen {
        uint8_t flags;
        int sort;  // of a taken element, for its children
    };
    std::vector<COpen> m_open;
    const xercesc::XMLElementDecl* m_pBlockDecl = nullptr;
    unsigned int m_uBlockUrlId = 0;
    std::basic_string<XMLCh> m_blockPrefix;
    xercesc::RefVectorOf<xercesc::XMLAttr> m_blockAttributes;
    // The last namespace asked about, by the scanner's number: whether it is the message's, and
    // its sort for the start tag reader; the last parent sorted (see CStartTagReader).
    unsigned int m_uLastUrlId = ~0u;
    bool m_bLastUrlOfMessage = false;
    int m_iLastUrlSort = 0;
    const xercesc::DOMNode* m_pSortedParent = nullptr;
    int m_iParentSort = 0;
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
    // Bounds the following parses (null: none); the limits must outlive them.
    void SetReadLimits(const CCmlReadLimits* limits) { m_pReadLimits = limits; }
    CCmlMemoryBudget& GetMemoryBudget() { return m_memory; }
    virtual void SetValidationMode(uint32_t mode) { m_uValidationMode = mode; }
    // Owned by the parser.
    virtual const CCmlDOM_Document& GetDocument() const { return m_document; }
    // Lets the document of the last parse go now rather than at the next parse.
    void ReleaseDocument() noexcept;

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
    // The parser's memory goes last: the parser and the document were built with it. The
    // document is declared after the DOM parser so that it goes first.
    CCmlMemoryBudget m_memory;
    CCmlDOMParser m_parser;
    CCmlDOM_Document m_document;
    std::wstring m_strRootTagName;
    std::wstring m_strRootNamespace;
    std::wstring m_strRootSchemaVersion;
    NamespaceSet m_instanceNamespaces;
    CCmlSaxErrorHandler m_errorHandler;
    uint32_t m_uValidationMode;
    const CCmlReadLimits* m_pReadLimits = nullptr;
};

// Parses and reads the document element through the class factory in one call. With mode 1 the
// namespaces (may be null) are added to the parser for validation. Returns the new object, or
// null when no class is registered for the document element.
std::unique_ptr<CCmlDocumentBase> DeserializeBuffer(const unsigned char* bytes, std::size_t length,
                                                    uint32_t mode = CML_DONT_VALIDATE,
                                                    const NamespaceSet* namespaces = nullptr,
                                                    const std::wstring& folder = std::wstring(),
                                                    int lookupMode = CML_LOOKUP_MATCH);
// The same for an untrusted document: parsing and reading are bounded by the limits (the
// document's size included) and raise CML_E_LIMIT_EXCEEDED or CML_E_READ_CANCELLED. parsed, when
// set, runs once the bytes are no longer needed (the tree is built, the objects not yet read),
// so that the caller can let them go before the reading's peak of memory.
std::unique_ptr<CCmlDocumentBase> DeserializeBuffer(const unsigned char* bytes, std::size_t length,
                                                    const CCmlReadLimits& limits,
                                                    int lookupMode = CML_LOOKUP_MATCH,
                                                    const std::function<void()>& parsed = {});
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
