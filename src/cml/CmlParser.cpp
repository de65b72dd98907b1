#include "cml/CmlParser.h"

#include <xercesc/dom/DOMException.hpp>
#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/sax/SAXException.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/XMLException.hpp>

#include <optional>

#include "cml/CmlDOM_Exception.h"
#include "cml/CmlDOM_NodeList.h"
#include "cml/CmlEarlyRead.h"
#include "cml/CmlException.h"
#include "cml/CmlInputSource.h"
#include "cml/CmlNodeRecycler.h"
#include "cml/CmlPlatform.h"
#include "cml/CmlTagNames.h"
#include "cml/CmlWriter.h"
#include "zavToolsLib/ConvertUTF.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml {

using zavToolsLib::FromUtf16;

namespace {

// Process-wide settings, built on first use so that load-time callers in other files find them.
struct CParserSettings {
    bool bDefaultValidation = true;
    std::wstring strProcessMessageVersion = MESSAGE_SCHEMA_VERSION;
    std::wstring strLibrarySchemaFolder;
    NamespaceSet implicitNamespaces;
};

// Never destroyed: an abandoned reader may still parse while the process exits.
CParserSettings& Settings() {
    static CParserSettings* const settings = new CParserSettings;
    return *settings;
}

// Built at load time, as the rest of the parser's process-wide state.
// NOLINTNEXTLINE(cert-err58-cpp): only out of memory at load time, when nothing could run anyway
const CParserSettings& g_settingsAtLoad = Settings();

std::wstring Text(const wchar_t* s) { return s != nullptr ? std::wstring(s) : std::wstring(); }

const CNamespace* Find(const NamespaceSet& namespaces, const std::wstring& namespaceURI) {
    const auto it = namespaces.find(CNamespace(namespaceURI, std::wstring()));
    return it != namespaces.end() ? &*it : nullptr;
}

[[noreturn]] void ThrowParseError(const std::wstring& message) {
    throw CCmlException(L"Parse operation", message, CML_E_PARSE_ERROR);
}

}  // namespace

// ---- Process-wide settings ----------------------------------------------------------------------

bool GetDefaultValidation() { return Settings().bDefaultValidation; }

bool SetDefaultValidation(bool validate) {
    const bool previous = Settings().bDefaultValidation;
    Settings().bDefaultValidation = validate;
    return previous;
}

const std::wstring& GetProcessMessageVersion() { return Settings().strProcessMessageVersion; }
void SetProcessMessageVersion(const std::wstring& version) {
    Settings().strProcessMessageVersion = version;
}

const std::wstring& GetLibrarySchemaFolder() { return Settings().strLibrarySchemaFolder; }
void SetLibrarySchemaFolder(const std::wstring& folder) {
    Settings().strLibrarySchemaFolder = folder;
}

void AddImplicitNamespace(const std::wstring& namespaceURI, const std::wstring& version) {
    NamespaceSet& implicit = Settings().implicitNamespaces;
    if (const CNamespace* held = Find(implicit, namespaceURI)) {
        if (held->GetSchemaVersion() == version) return;
        throw CCmlException(L"Adding implicit namespace to CML parser",
                            L"Namespace/schema-version conflict:  tried to add namespace \"" +
                                namespaceURI + L"\" version " + version +
                                L"; set already contains namespace \"" + namespaceURI +
                                L"\" version " + held->GetSchemaVersion(),
                            CML_E_NAMESPACE_CONFLICT);
    }
    implicit.emplace(namespaceURI, version);
}

void RemoveImplicitNamespace(const std::wstring& namespaceURI) {
    Settings().implicitNamespaces.erase(CNamespace(namespaceURI, std::wstring()));
}

void ClearImplicitNamespaces() { Settings().implicitNamespaces.clear(); }

const NamespaceSet& GetImplicitNamespaces() { return Settings().implicitNamespaces; }

// ---- CCmlParser ---------------------------------------------------------------------------------

CCmlParser::CCmlParser(uint32_t validationMode)
    : m_parser(m_memory), m_uValidationMode(validationMode) {}

CCmlParser::~CCmlParser() = default;

void CCmlParser::AddNamespace(const std::wstring& namespaceURI, const std::wstring& version) {
    const wchar_t* const context = L"Adding namespace to CML parser";
    if (const CNamespace* held = Find(GetImplicitNamespaces(), namespaceURI);
        held != nullptr && held->GetSchemaVersion() != version) {
        throw CCmlException(context,
                            L"Namespace/schema-version conflict:  tried to add namespace \"" +
                                namespaceURI + L"\" version " + version +
                                L" to instance-specific namespace set; implicit namespace set "
                                L"already contains namespace \"" +
                                namespaceURI + L"\" version " + held->GetSchemaVersion(),
                            CML_E_IMPLICIT_NAMESPACE_CONFLICT);
    }
    if (const CNamespace* held = Find(m_instanceNamespaces, namespaceURI)) {
        if (held->GetSchemaVersion() == version) return;
        throw CCmlException(context,
                            L"Adding namespace \"" + namespaceURI + L"\" version " + version +
                                L"; namespace \"" + namespaceURI + L"\" version " +
                                held->GetSchemaVersion() + L" already specified",
                            CML_E_NAMESPACE_CONFLICT);
    }
    m_instanceNamespaces.emplace(namespaceURI, version);
}

void CCmlParser::RemoveNamespace(const std::wstring& namespaceURI) {
    m_instanceNamespaces.erase(CNamespace(namespaceURI, std::wstring()));
}

void CCmlParser::ClearNamespaces() { m_instanceNamespaces.clear(); }

void CCmlParser::ParseFile(const wchar_t* path, uint32_t mode, const std::wstring& folder) {
    if (path == nullptr) {
        throw CCmlException(L"Parse operation", L"NULL pointer received",
                            zavToolsLib::ZAV_E_INVALID_ARG);
    }
    // Completing a relative path may already fail inside the parser library.
    std::optional<CCmlLocalFileInputSource> input;
    try {
        input.emplace(path);
    } catch (const xercesc::XMLException& e) {
        ThrowParseError(L"Error parsing input content\nMessage:  " + FromUtf16(e.getMessage()));
    }
    m_parser.SetReadLimits(m_pReadLimits, 0);
    Parse(*input, mode, folder);
}

void CCmlParser::ParseFile(const char* path, uint32_t mode, const std::wstring& folder) {
    if (path == nullptr) {
        throw CCmlException(L"Parse operation", L"NULL pointer received",
                            zavToolsLib::ZAV_E_INVALID_ARG);
    }
    ParseFile(zavToolsLib::FromUtf8(path).c_str(), mode, folder);
}

void CCmlParser::ParseBuffer(const unsigned char* bytes, std::size_t length, uint32_t mode,
                             const std::wstring& folder) {
    const CCmlMemBufInputSource input(bytes, length);
    m_parser.SetReadLimits(m_pReadLimits, length);
    Parse(input, mode, folder);
}

CCmlDOM_Element CCmlParser::GetDocumentElement() const { return m_document.getDocumentElement(); }

void CCmlParser::ReleaseDocument() noexcept {
    try {
        m_document.SetDOMNode(nullptr);
    } catch (...) {
        // Releasing cannot fail in a way the caller could act on; the next parse resets it.
    }
}

void CCmlParser::Parse(const xercesc::InputSource& input, uint32_t mode,
                       const std::wstring& folder) {
    const bool validate = mode == CML_VALIDATE ||
                          (mode == CML_VALIDATE_DEFAULT &&
                           (m_uValidationMode == CML_VALIDATE ||
                            (m_uValidationMode == CML_VALIDATE_DEFAULT && GetDefaultValidation())));
    if (validate) {
        ParseValidating(input, folder);
    } else {
        ParseNonValidating(input);
    }
}

void CCmlParser::ParseNonValidating(const xercesc::InputSource& input) {
    m_parser.setDoSchema(false);
    m_parser.setValidationScheme(xercesc::XercesDOMParser::Val_Never);
    // Documents read without validation come from the network: they must not make the parser
    // open files or URLs of their choosing through a DOCTYPE or an external entity.
    m_parser.setLoadExternalDTD(false);
    m_parser.setDisableDefaultEntityResolution(true);
    DoParse(input);
}

void CCmlParser::ParseValidating(const xercesc::InputSource& input, const std::wstring& folder) {
    std::wstring location;
    BuildExternalSchemaLocation(location, folder);
    m_parser.setDoSchema(true);
    m_parser.setValidationScheme(xercesc::XercesDOMParser::Val_Auto);
    // Validation loads the schemas named by the external schema location.
    m_parser.setLoadExternalDTD(true);
    m_parser.setDisableDefaultEntityResolution(false);
    m_parser.cacheGrammarFromParse(true);
    m_parser.setExternalSchemaLocation(location.empty() ? nullptr
                                                        : zavToolsLib::ToUtf16(location).c_str());
    std::optional<CSchemaException> failure;
    try {
        DoParse(input);
        return;
    } catch (const CSchemaException& e) {
        failure.emplace(e);
    } catch (const CCmlException& e) {
        failure.emplace(e);
    }
    try {
        CheckSchemaCompatibility(input, failure->GetIncompatibilities());
    } catch (const CCmlException&) {
        // A document that cannot be read even without validation: the parse failure says it all.
    }
    throw *failure;
}

void CCmlParser::CheckSchemaCompatibility(const xercesc::InputSource& input,
                                          SchemaIncompatibilitySet& incompatibilities) {
    ParseNonValidating(input);
    const auto check = [&incompatibilities](const std::wstring& namespaceURI,
                                            const std::wstring& expected,
                                            const std::wstring& found) {
        const int result = CompareSchemaVersions(found, expected);
        if (result != 0 && result != 1) incompatibilities.emplace(namespaceURI, expected, found);
    };
    // Every element in namespaceURI, or only those with the local name.
    const auto elements = [this](const std::wstring& namespaceURI, const wchar_t* localName) {
        return m_document.getElementsByTagNameNS(namespaceURI.c_str(), localName);
    };
    try {
        const std::wstring base = NAMESPACE_BASE;
        CCmlDOM_Element root = m_document.getDocumentElement();
        if (Text(root.getNamespaceURI()) == base) {
            check(base, GetProcessMessageVersion(),
                  Text(root.getAttribute(CML_TAG_SCHEMA_VERSION)));
        }
        const std::pair<std::wstring, const wchar_t*> cmlForms[] = {
            {base + CML_PATH, CML_LEGACY_SCHEMA_VERSION},
            {base + CML_MESSAGE_PATH, CML_MESSAGE_SCHEMA_VERSION}};
        for (const auto& [namespaceURI, expected] : cmlForms) {
            const CCmlDOM_NodeList list = elements(namespaceURI, CML_TAG_CML);
            // Deep lists recount the whole tree on every getLength: count once.
            const std::size_t count = list.getLength();
            for (std::size_t i = 0; i < count; ++i) {
                CCmlDOM_Element element;
                element.SetDOMElement(list.item(i).GetDOMNode());
                check(namespaceURI, expected, Text(element.getAttribute(CML_TAG_SCHEMA_VERSION)));
            }
        }
        for (const NamespaceSet* namespaces : {&GetImplicitNamespaces(), &GetNamespaces()}) {
            for (const CNamespace& entry : *namespaces) {
                const CCmlDOM_NodeList list = elements(entry.GetNamespace(), L"*");
                const std::size_t count = list.getLength();
                for (std::size_t i = 0; i < count; ++i) {
                    CCmlDOM_Element element;
                    element.SetDOMElement(list.item(i).GetDOMNode());
                    const std::wstring found = Text(element.getAttribute(CML_TAG_SCHEMA_VERSION));
                    if (!found.empty())
                        check(entry.GetNamespace(), entry.GetSchemaVersion(), found);
                }
            }
        }
    } catch (const xercesc::DOMException& e) {
        throw CCmlDOM_Exception(e).ToCmlException(L"Checking schema compatibility");
    }
}

void CCmlParser::BuildExternalSchemaLocation(std::wstring& location,
                                             const std::wstring& folder) const {
    location.clear();
    const std::wstring& dir = folder.empty() ? GetLibrarySchemaFolder() : folder;
    if (dir.empty()) return;
    for (const NamespaceSet* namespaces : {&GetImplicitNamespaces(), &GetNamespaces()}) {
        for (const CNamespace& entry : *namespaces) {
            std::wstring path =
                BuildSchemaFileName(entry.GetNamespace(), entry.GetSchemaVersion(), dir);
            for (auto pos = path.find(L' '); pos != std::wstring::npos;
                 pos = path.find(L' ', pos)) {
                path.replace(pos, 1, L"%20");
            }
            if (!location.empty()) location += L' ';
            location += entry.GetNamespace() + L' ' + path;
        }
    }
}

void CCmlParser::DoParse(const xercesc::InputSource& input) {
    m_parser.setErrorHandler(&m_errorHandler);
    m_parser.setDoNamespaces(true);
    m_parser.reset();
    m_parser.resetDocumentPool();
    try {
        m_parser.parse(input);
        m_parser.CheckMemoryBudget();
        // The wrapper owns the document from here on; the previous one is released.
        m_document.SetDOMNode(m_parser.adoptDocument());
        m_document.SetOwner(!m_document.IsNull());
        CCmlDOM_Element root = m_document.getDocumentElement();
        m_strRootTagName = Text(root.getTagName());
        if (const wchar_t* namespaceURI = root.getNamespaceURI()) {
            m_strRootNamespace = namespaceURI;
        }
        if (root.hasAttribute(CML_TAG_SCHEMA_VERSION)) {
            m_strRootSchemaVersion = Text(root.getAttribute(CML_TAG_SCHEMA_VERSION));
        }
    } catch (const xercesc::DOMException& e) {
        ThrowParseError(L"Error parsing input content; error = " + std::to_wstring(e.code) +
                        L"\nMessage:  " + FromUtf16(e.getMessage()));
    } catch (const xercesc::XMLException& e) {
        ThrowParseError(L"Error parsing input content\nMessage:  " + FromUtf16(e.getMessage()));
    } catch (const xercesc::SAXException& e) {
        ThrowParseError(L"Parse operation\nMessage:  " + FromUtf16(e.getMessage()));
    } catch (const xercesc::OutOfMemoryException&) {
        m_parser.CheckMemoryBudget();
        throw CCmlException(L"Parse operation", L"Insufficient memory",
                            zavToolsLib::ZAV_E_BUFFER_FULL);
    }
}

// ---- One-call entry points ----------------------------------------------------------------------

namespace {

// The parser is local, so it is gone before the caller sees the object or the exception.
template <class ParseFn>
std::unique_ptr<CCmlDocumentBase> ParseAndRead(uint32_t mode, const NamespaceSet* namespaces,
                                               int lookupMode, ParseFn&& parse) {
    CCmlParser parser(CML_VALIDATE_DEFAULT);
    if (mode == CML_VALIDATE && namespaces != nullptr) {
        for (const CNamespace& entry : *namespaces) {
            parser.AddNamespace(entry.GetNamespace(), entry.GetSchemaVersion());
        }
    }
    parse(parser);
    return Deserialize(parser.GetDocumentElement(), lookupMode);
}

}  // namespace

std::unique_ptr<CCmlDocumentBase> DeserializeBuffer(const unsigned char* bytes, std::size_t length,
                                                    uint32_t mode, const NamespaceSet* namespaces,
                                                    const std::wstring& folder, int lookupMode) {
    return ParseAndRead(mode, namespaces, lookupMode, [&](CCmlParser& parser) {
        parser.ParseBuffer(bytes, length, mode, folder);
    });
}

std::unique_ptr<CCmlDocumentBase> DeserializeBuffer(const unsigned char* bytes, std::size_t length,
                                                    const CCmlReadLimits& limits, int lookupMode,
                                                    const std::function<void()>& parsed) {
    if (length > limits.uMaxResponseSize) {
        ThrowLimitExceeded("document size", length, "maxResponseSize", limits.uMaxResponseSize);
    }
    CCmlReadScope scope(limits);
    // Building a parser costs more than reading a short answer: each thread keeps one for its
    // bounded reads and lets the document go after each. A read inside a read (none is known)
    // gets a parser of its own.
    thread_local std::unique_ptr<CCmlParser> threadParser;
    thread_local bool threadParserBusy = false;
    std::optional<CCmlParser> ownParser;
    if (!threadParserBusy && !threadParser) {
        threadParser = std::make_unique<CCmlParser>(CML_DONT_VALIDATE);
    }
    CCmlParser& parser = threadParserBusy ? ownParser.emplace(CML_DONT_VALIDATE) : *threadParser;
    struct CDone {
        CCmlParser& parser;
        std::unique_ptr<CCmlParser>& threadParser;
        bool& busy;
        const bool wasBusy;
        ~CDone() {
            parser.ReleaseDocument();
            parser.SetReadLimits(nullptr);
            busy = wasBusy;
            // The parser library cannot parse again once an allocation was refused to it.
            if (&parser == threadParser.get() && parser.GetMemoryBudget().IsOverBudget()) {
                threadParser.reset();
            }
        }
    } done{parser, threadParser, threadParserBusy, threadParserBusy};
    threadParserBusy = true;
    parser.SetReadLimits(&scope.GetLimits());
    scope.StartParsing(parser.GetMemoryBudget());
    parser.ParseBuffer(bytes, length, CML_DONT_VALIDATE);
    if (parsed) parsed();
    scope.CheckCancel();
    scope.StartReadingTree(parser.GetMemoryBudget());
    return Deserialize(parser.GetDocumentElement(), lookupMode);
}

std::unique_ptr<CCmlDocumentBase> DeserializeFile(const wchar_t* path, uint32_t mode,
                                                  const NamespaceSet* namespaces,
                                                  const std::wstring& folder, int lookupMode) {
    return ParseAndRead(mode, namespaces, lookupMode,
                        [&](CCmlParser& parser) { parser.ParseFile(path, mode, folder); });
}

std::unique_ptr<CCmlDocumentBase> DeserializeFile(const char* path, uint32_t mode,
                                                  const NamespaceSet* namespaces,
                                                  const std::wstring& folder, int lookupMode) {
    return ParseAndRead(mode, namespaces, lookupMode,
                        [&](CCmlParser& parser) { parser.ParseFile(path, mode, folder); });
}

}  // namespace zav::cml
