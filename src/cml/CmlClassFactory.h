// The process-wide class factory that turns DOM elements into CML objects: every CML class
// registers a prototype under (namespace URI, schema version, tag name), and the reader asks for
// a fresh copy of the prototype that matches an element.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "cml/CmlDocumentBase.h"

namespace zav::cml {

class CCmlDOM_Element;

// Lookup modes: exact version, or the version matching rule (same major and minor, highest patch).
constexpr int CML_LOOKUP_MATCH = 1;
constexpr int CML_LOOKUP_EXACT = 2;

// Compares two "major.minor.patch" versions: 4 when the majors differ, 3 when the minors differ,
// otherwise by patch number (read with automatic base): 1 when b is higher, 2 when b is lower,
// 0 when equal.
int CompareSchemaVersions(const std::wstring& a, const std::wstring& b);

// The prototypes of one (namespace, schema version) pair, by tag name.
class CCmlDocumentClassFactory {
public:
    CCmlDocumentClassFactory() = default;
    CCmlDocumentClassFactory(const CCmlDocumentClassFactory&) = delete;
    CCmlDocumentClassFactory& operator=(const CCmlDocumentClassFactory&) = delete;
    ~CCmlDocumentClassFactory();

    // Stores a clone of prototype under tag (replacing any earlier one); returns the stored clone.
    CCmlDocumentBase* AddTagName(const wchar_t* tag, const CCmlDocumentBase* prototype);
    void DeleteTagName(const wchar_t* tag);
    // A new copy of the prototype registered under tag, or null.
    std::unique_ptr<CCmlDocumentBase> GetDocument(const wchar_t* tag) const;

private:
    std::map<std::wstring, std::unique_ptr<CCmlDocumentBase>> m_mapPrototypes;
};

class CCmlClassFactory {
public:
    CCmlClassFactory() = default;
    CCmlClassFactory(const CCmlClassFactory&) = delete;
    CCmlClassFactory& operator=(const CCmlClassFactory&) = delete;
    ~CCmlClassFactory();

    // The document class factory of exactly this pair, created when missing.
    CCmlDocumentClassFactory* RegisterNamespace(const wchar_t* namespaceURI,
                                                const wchar_t* version);
    // Null when nothing matches.
    CCmlDocumentClassFactory* GetDocumentClassFactory(const wchar_t* namespaceURI,
                                                      const wchar_t* version, int mode);
    void DeregisterNamespace(const wchar_t* namespaceURI, const wchar_t* version,
                             int mode = CML_LOOKUP_MATCH);
    // An empty object of the class registered for the element's namespace, schema-version
    // attribute and qualified tag name, or null. The element is not read.
    std::unique_ptr<CCmlDocumentBase> CreateDocument(const CCmlDOM_Element& element, int mode);

private:
    using VersionMap = std::map<std::wstring, std::unique_ptr<CCmlDocumentClassFactory>>;
    VersionMap::iterator Find(VersionMap& versions, const std::wstring& version, int mode);

    std::map<std::wstring, VersionMap> m_mapNamespaces;
};

// The lock that guards the global factory and every factory operation.
std::recursive_mutex& GetClassFactoryLock();
// The process-wide factory, created on first use; null once the library is being unloaded.
CCmlClassFactory* GetGlobalClassFactory();

// Reads element into a new object of its registered class; null when no class is registered.
// Call it as zav::cml::Deserialize inside classes that have a Deserialize member of their own.
std::unique_ptr<CCmlDocumentBase> Deserialize(const CCmlDOM_Element& element, int mode);

// Registers a clone of prototype; returns the stored copy.
CCmlDocumentBase* RegisterDocument(CCmlClassFactory* factory, const wchar_t* namespaceURI,
                                   const wchar_t* version, const wchar_t* tag,
                                   const CCmlDocumentBase* prototype);
// Registers under two pairs; the copy under the second pair takes its namespace and version.
// Returns the copy stored under the first pair.
CCmlDocumentBase* RegisterDocument(CCmlClassFactory* factory, const wchar_t* namespaceURI1,
                                   const wchar_t* version1, const wchar_t* namespaceURI2,
                                   const wchar_t* version2, const wchar_t* tag,
                                   const CCmlDocumentBase* prototype);
// One registration per tag name.
void RegisterDocument(CCmlClassFactory* factory, const wchar_t* namespaceURI,
                      const wchar_t* version, const std::vector<std::wstring>& tags,
                      const CCmlDocumentBase* prototype);
// Registers under every (namespace, version) pair; copies after the first are adjusted to their
// pair as in the two-pair form.
void RegisterDocument(CCmlClassFactory* factory,
                      const std::vector<std::pair<std::wstring, std::wstring>>& pairs,
                      const wchar_t* tag, const CCmlDocumentBase* prototype);

}  // namespace zav::cml
