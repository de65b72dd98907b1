#include "cml/CmlClassFactory.h"

#include <cwchar>

#include "cml/CmlDOM_Element.h"
#include "cml/CmlException.h"
#include "cml/CmlTagNames.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml {

using zavToolsLib::ZAV_E_EXCEPTION;
using zavToolsLib::ZAV_E_INVALID_ARG;

namespace {

constexpr wchar_t INVALID_ARGUMENTS[] = L"One or more arguments are invalid";

void CheckArgument(const void* arg, const wchar_t* context) {
    if (arg == nullptr) throw CCmlException(context, INVALID_ARGUMENTS, ZAV_E_INVALID_ARG);
}

// Major, minor and patch texts; missing parts are empty, a fourth part is ignored.
struct VersionParts {
    std::wstring major, minor, patch;
};

VersionParts Split(const std::wstring& version) {
    VersionParts parts;
    std::wstring* fields[] = {&parts.major, &parts.minor, &parts.patch};
    std::size_t start = 0;
    for (std::wstring* field : fields) {
        if (start > version.size()) break;
        const std::size_t dot = version.find(L'.', start);
        *field =
            version.substr(start, dot == std::wstring::npos ? std::wstring::npos : dot - start);
        start = dot == std::wstring::npos ? version.size() + 1 : dot + 1;
    }
    return parts;
}

// "0x" hexadecimal, leading "0" octal, otherwise decimal; unreadable text gives 0.
unsigned long long PatchNumber(const std::wstring& text) {
    wchar_t* end = nullptr;
    const unsigned long long value = std::wcstoull(text.c_str(), &end, 0);
    return end == text.c_str() ? 0 : value;
}

// The global factory. A plain pointer is zero before any constructor runs, so registrations
// from other files' load-time objects may come first and create it.
CCmlClassFactory* g_pFactory = nullptr;

// The factory is never freed: a dispatch thread abandoned at shutdown may still be reading an
// answer while the process runs its exit-time destructors. The process takes the memory back.
struct CGlobalFactoryLifetime {
    CGlobalFactoryLifetime() noexcept {
        try {
            GetGlobalClassFactory();
        } catch (...) {
            // Nothing may leave a static initialiser; the first use tries again.
        }
    }
} g_factoryLifetime;

}  // namespace

int CompareSchemaVersions(const std::wstring& a, const std::wstring& b) {
    const VersionParts pa = Split(a);
    const VersionParts pb = Split(b);
    if (pa.major != pb.major) return 4;
    if (pa.minor != pb.minor) return 3;
    const unsigned long long patchA = PatchNumber(pa.patch);
    const unsigned long long patchB = PatchNumber(pb.patch);
    if (patchB > patchA) return 1;
    if (patchB < patchA) return 2;
    return 0;
}

// ---- CCmlDocumentClassFactory -------------------------------------------------------------------

CCmlDocumentClassFactory::~CCmlDocumentClassFactory() = default;

CCmlDocumentBase* CCmlDocumentClassFactory::AddTagName(const wchar_t* tag,
                                                       const CCmlDocumentBase* prototype) {
    constexpr wchar_t context[] = L"Adding tagname to document class factory";
    CheckArgument(tag, context);
    CheckArgument(prototype, context);
    std::lock_guard<std::recursive_mutex> lock(GetClassFactoryLock());
    std::unique_ptr<CCmlDocumentBase> copy(prototype->Clone());
    CCmlDocumentBase* stored = copy.get();
    m_mapPrototypes[tag] = std::move(copy);
    // The map owns it now and keeps it until the tag is deleted.
    // cppcheck-suppress returnDanglingLifetime
    return stored;
}

void CCmlDocumentClassFactory::DeleteTagName(const wchar_t* tag) {
    CheckArgument(tag, L"Deleting tagname from document class factory");
    std::lock_guard<std::recursive_mutex> lock(GetClassFactoryLock());
    m_mapPrototypes.erase(tag);
}

std::unique_ptr<CCmlDocumentBase> CCmlDocumentClassFactory::GetDocument(const wchar_t* tag) const {
    CheckArgument(tag, L"Getting document object from document class factory");
    std::lock_guard<std::recursive_mutex> lock(GetClassFactoryLock());
    const auto it = m_mapPrototypes.find(tag);
    if (it == m_mapPrototypes.end()) return nullptr;
    return std::unique_ptr<CCmlDocumentBase>(it->second->Clone());
}

// ---- CCmlClassFactory ---------------------------------------------------------------------------

CCmlClassFactory::~CCmlClassFactory() = default;

CCmlDocumentClassFactory* CCmlClassFactory::RegisterNamespace(const wchar_t* namespaceURI,
                                                              const wchar_t* version) {
    constexpr wchar_t context[] = L"Registering namespace with global class factory";
    CheckArgument(namespaceURI, context);
    CheckArgument(version, context);
    std::lock_guard<std::recursive_mutex> lock(GetClassFactoryLock());
    std::unique_ptr<CCmlDocumentClassFactory>& slot = m_mapNamespaces[namespaceURI][version];
    if (!slot) slot = std::make_unique<CCmlDocumentClassFactory>();
    return slot.get();
}

CCmlClassFactory::VersionMap::iterator CCmlClassFactory::Find(VersionMap& versions,
                                                              const std::wstring& version,
                                                              int mode) {
    if (mode == CML_LOOKUP_EXACT) return versions.find(version);
    // Among the versions with the requested major and minor, the highest patch number wins.
    auto chosen = versions.end();
    std::wstring best = version;
    for (auto it = versions.begin(); it != versions.end(); ++it) {
        const int r = CompareSchemaVersions(it->first, best);
        if (r == 0 || r == 2 || (r == 1 && chosen == versions.end())) {
            chosen = it;
            best = it->first;
        }
    }
    return chosen;
}

CCmlDocumentClassFactory* CCmlClassFactory::GetDocumentClassFactory(const wchar_t* namespaceURI,
                                                                    const wchar_t* version,
                                                                    int mode) {
    constexpr wchar_t context[] = L"Deregistering document class factory";
    CheckArgument(namespaceURI, context);
    CheckArgument(version, context);
    std::lock_guard<std::recursive_mutex> lock(GetClassFactoryLock());
    const auto ns = m_mapNamespaces.find(namespaceURI);
    if (ns == m_mapNamespaces.end()) return nullptr;
    const auto it = Find(ns->second, version, mode);
    return it == ns->second.end() ? nullptr : it->second.get();
}

void CCmlClassFactory::DeregisterNamespace(const wchar_t* namespaceURI, const wchar_t* version,
                                           int mode) {
    constexpr wchar_t context[] = L"Deregistering document class factory";
    CheckArgument(namespaceURI, context);
    CheckArgument(version, context);
    std::lock_guard<std::recursive_mutex> lock(GetClassFactoryLock());
    const auto ns = m_mapNamespaces.find(namespaceURI);
    if (ns == m_mapNamespaces.end()) return;
    const auto it = Find(ns->second, version, mode);
    if (it == ns->second.end()) return;
    ns->second.erase(it);
    if (ns->second.empty()) m_mapNamespaces.erase(ns);
}

std::unique_ptr<CCmlDocumentBase> CCmlClassFactory::CreateDocument(const CCmlDOM_Element& element,
                                                                   int mode) {
    const wchar_t* ns = element.getNamespaceURI();
    const std::wstring namespaceURI = ns == nullptr ? L"" : ns;
    const wchar_t* attr = element.getAttribute(CML_TAG_SCHEMA_VERSION);
    const std::wstring version = attr == nullptr ? L"" : attr;
    const wchar_t* name = element.getNodeName();
    const std::wstring tag = name == nullptr ? L"" : name;
    std::lock_guard<std::recursive_mutex> lock(GetClassFactoryLock());
    CCmlDocumentClassFactory* factory =
        GetDocumentClassFactory(namespaceURI.c_str(), version.c_str(), mode);
    return factory == nullptr ? nullptr : factory->GetDocument(tag.c_str());
}

// ---- Global functions ---------------------------------------------------------------------------

std::recursive_mutex& GetClassFactoryLock() {
    // Never destroyed, as the factory (see above).
    static std::recursive_mutex* const lock = new std::recursive_mutex;
    return *lock;
}

CCmlClassFactory* GetGlobalClassFactory() {
    std::lock_guard<std::recursive_mutex> lock(GetClassFactoryLock());
    if (g_pFactory == nullptr) g_pFactory = new CCmlClassFactory();
    return g_pFactory;
}

std::unique_ptr<CCmlDocumentBase> Deserialize(const CCmlDOM_Element& element, int mode) {
    // Only the lookup runs under the lock; reading the element may take long and recurse.
    CCmlClassFactory* factory = GetGlobalClassFactory();
    if (factory == nullptr) {
        throw CCmlException(L"Deserializing a parsed document",
                            L"Global class factory is not available", ZAV_E_EXCEPTION);
    }
    std::unique_ptr<CCmlDocumentBase> document = factory->CreateDocument(element, mode);
    if (document) document->Deserialize(element);
    return document;
}

CCmlDocumentBase* RegisterDocument(CCmlClassFactory* factory, const wchar_t* namespaceURI,
                                   const wchar_t* version, const wchar_t* tag,
                                   const CCmlDocumentBase* prototype) {
    std::lock_guard<std::recursive_mutex> lock(GetClassFactoryLock());
    CCmlDocumentClassFactory* documents =
        factory == nullptr ? nullptr : factory->RegisterNamespace(namespaceURI, version);
    if (documents == nullptr) {
        const std::wstring context = std::wstring(L"Registering document object for namespace '") +
                                     (namespaceURI ? namespaceURI : L"") + L"' schema version '" +
                                     (version ? version : L"") + L"'";
        throw CCmlException(context, L"Internal error:  no document class factory",
                            ZAV_E_EXCEPTION);
    }
    return documents->AddTagName(tag, prototype);
}

namespace {

// The copy stored under a further pair takes that pair's namespace and version.
void RegisterAdjusted(CCmlClassFactory* factory, const wchar_t* namespaceURI,
                      const wchar_t* version, const wchar_t* tag,
                      const CCmlDocumentBase* prototype) {
    CCmlDocumentBase* copy = RegisterDocument(factory, namespaceURI, version, tag, prototype);
    copy->SetNamespace(namespaceURI);
    copy->SetSchemaVersion(version);
    copy->SetDocumentSchemaVersion(version);
}

}  // namespace

CCmlDocumentBase* RegisterDocument(CCmlClassFactory* factory, const wchar_t* namespaceURI1,
                                   const wchar_t* version1, const wchar_t* namespaceURI2,
                                   const wchar_t* version2, const wchar_t* tag,
                                   const CCmlDocumentBase* prototype) {
    std::lock_guard<std::recursive_mutex> lock(GetClassFactoryLock());
    CCmlDocumentBase* first = RegisterDocument(factory, namespaceURI1, version1, tag, prototype);
    RegisterAdjusted(factory, namespaceURI2, version2, tag, prototype);
    return first;
}

void RegisterDocument(CCmlClassFactory* factory, const wchar_t* namespaceURI,
                      const wchar_t* version, const std::vector<std::wstring>& tags,
                      const CCmlDocumentBase* prototype) {
    std::lock_guard<std::recursive_mutex> lock(GetClassFactoryLock());
    for (const std::wstring& tag : tags) {
        RegisterDocument(factory, namespaceURI, version, tag.c_str(), prototype);
    }
}

void RegisterDocument(CCmlClassFactory* factory,
                      const std::vector<std::pair<std::wstring, std::wstring>>& pairs,
                      const wchar_t* tag, const CCmlDocumentBase* prototype) {
    std::lock_guard<std::recursive_mutex> lock(GetClassFactoryLock());
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const wchar_t* ns = pairs[i].first.c_str();
        const wchar_t* version = pairs[i].second.c_str();
        if (i == 0) {
            RegisterDocument(factory, ns, version, tag, prototype);
        } else {
            RegisterAdjusted(factory, ns, version, tag, prototype);
        }
    }
}

}  // namespace zav::cml
