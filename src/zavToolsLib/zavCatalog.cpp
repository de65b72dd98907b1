#include "zavToolsLib/zavCatalog.h"

#include <atomic>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "zavToolsLib/ModuleDirectory.h"

namespace zavToolsLib {

namespace {

constexpr const char* kDefaultNlsDir = "/usr/lib/qel/nls";

// Where an install puts the catalog: this folder beside the library file, and the same folder
// under the configured prefix for programs that link the toolkit statically.
#ifndef ZAV_CATALOG_RELATIVE_DIR
#define ZAV_CATALOG_RELATIVE_DIR "zavEventQuerySvcs5/nls"
#endif
#ifndef ZAV_INSTALL_NLS_DIR
#define ZAV_INSTALL_NLS_DIR ""
#endif

// State shared by every open. Never destroyed: the environment keeps pointing into the two
// buffers, and a handle that was replaced may still be read by a thread formatting a text, so
// replaced handles are kept (not closed) for the life of the process.
struct CatalogState {
    std::mutex lock;
    std::atomic<nl_catd> handle{NoCatalog()};
    char name[255] = {};
    std::string nlsPathEntry;    // "NLSPATH=..." set for the open
    std::string installedEntry;  // "NLSPATH=..." of the installed catalog, tried next
    std::string restoreEntry;    // "NLSPATH=..." the caller's value put back
    std::vector<nl_catd> retired;
};

CatalogState& State() {
    static CatalogState* state = new CatalogState;
    return *state;
}

// putenv keeps the pointer, so these entries must outlive every use of the environment.
char g_langC[] = "LANG=C";
char g_langCleared[] = "LANG=";

// catopen reads NLSPATH and LANG from the environment only, so the open sets them for its
// duration, under the catalog lock (OpenCatalog's description says so to its callers).
void PutEnv(char* entry) {
    putenv(entry);  // NOLINT(concurrency-mt-unsafe): see above
}
const char* GetEnv(const char* name) {
    return std::getenv(name);  // NOLINT(concurrency-mt-unsafe): see PutEnv
}

// Puts the caller's NLSPATH back, and clears LANG when the open set it, however the open ends.
class EnvironmentRestore {
public:
    explicit EnvironmentRestore(std::string& restoreEntry) : m_strEntry(restoreEntry) {}
    EnvironmentRestore(const EnvironmentRestore&) = delete;
    EnvironmentRestore& operator=(const EnvironmentRestore&) = delete;
    ~EnvironmentRestore() {
        PutEnv(m_strEntry.data());
        if (m_bClearLang) {
            PutEnv(g_langCleared);
        }
    }
    void ClearLangLater() { m_bClearLang = true; }

private:
    std::string& m_strEntry;
    bool m_bClearLang = false;
};

// Room for the retired handle is reserved by the caller, so this cannot fail.
void Replace(CatalogState& state, nl_catd handle) {
    nl_catd old = state.handle.exchange(handle);
    if (old != NoCatalog()) {
        state.retired.push_back(old);
    }
}

void AppendCatalogEntries(std::string& path, const std::string& directory) {
    if (!path.empty()) {
        path += ':';
    }
    path.append(directory).append("/%L/LC_MESSAGES/%N.cat:");
    path.append(directory).append("/C/LC_MESSAGES/%N.cat");
}

}  // namespace

std::string InstalledCatalogSearchPath() {
    std::string path;
    const std::string beside = ModuleDirectory();
    std::string besideDir;
    if (!beside.empty()) {
        besideDir = beside + "/" + ZAV_CATALOG_RELATIVE_DIR;
        AppendCatalogEntries(path, besideDir);
    }
    const std::string installed = ZAV_INSTALL_NLS_DIR;
    if (!installed.empty() && installed != besideDir) {
        AppendCatalogEntries(path, installed);
    }
    return path;
}

std::string BuildCatalogSearchPath(const char* directory) {
    std::string path;
    if (directory != nullptr) {
        path.append(directory).append("/%L/LC_MESSAGES/%N.cat:");
        path.append(directory).append("/C/LC_MESSAGES/%N.cat");
    }
    if (!path.empty()) {
        path += ':';
    }
    path.append(kDefaultNlsDir).append("/%L/LC_MESSAGES/%N.cat:");
    path.append(kDefaultNlsDir).append("/C/LC_MESSAGES/%N.cat");
    return path;
}

std::string CatalogOpenPath(const char* directory, const std::string& callers) {
    std::string path = BuildCatalogSearchPath(directory);
    if (!callers.empty()) {
        path += ":" + callers;
    }
    return path;
}

int OpenCatalog(const char* directory, const char* name, const char* locale) {
    if (name == nullptr) {
        return EINVAL;
    }
    CatalogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    std::strncpy(state.name, name, sizeof state.name - 1);
    try {
        const char* current = GetEnv("NLSPATH");
        const std::string saved = current != nullptr ? current : "";
        // Everything that can fail is built before the environment changes. The environment
        // points at the previous restore entry until NLSPATH is replaced, so that entry is
        // only swapped for the new one afterwards.
        std::string restoreEntry = "NLSPATH=" + saved;
        state.nlsPathEntry = "NLSPATH=" + CatalogOpenPath(directory, saved);
        // Only when that path finds nothing, so that NLSPATH can point at another catalog.
        const std::string installed = InstalledCatalogSearchPath();
        state.installedEntry = "NLSPATH=" + installed;
        std::string localName = std::string("./") + name;
        if (std::strstr(name, ".cat") == nullptr) {
            localName += ".cat";
        }
        state.retired.reserve(state.retired.size() + 1);

        int error = 0;
        nl_catd handle = NoCatalog();
        {
            PutEnv(state.nlsPathEntry.data());
            state.restoreEntry = std::move(restoreEntry);
            EnvironmentRestore restore(state.restoreEntry);
            const char* lang = GetEnv("LANG");
            if (lang == nullptr || *lang == '\0') {
                PutEnv(g_langC);
                restore.ClearLangLater();
            }
            // NOLINTNEXTLINE(concurrency-mt-unsafe): catopen takes the locale from here, see PutEnv
            std::setlocale(LC_MESSAGES, locale != nullptr ? locale : "");
            errno = 0;
            handle = catopen(name, NL_CAT_LOCALE);
            error = errno;
            if (handle == NoCatalog() && !installed.empty()) {
                PutEnv(state.installedEntry.data());
                errno = 0;
                handle = catopen(name, NL_CAT_LOCALE);
                error = errno;
            }
        }
        if (handle == NoCatalog()) {
            errno = 0;
            handle = catopen(localName.c_str(), 0);
            error = errno;
        }
        Replace(state, handle);
        if (handle != NoCatalog()) {
            return 0;
        }
        return error != 0 ? error : ENOENT;
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
}

nl_catd GetCatalogHandle() { return State().handle.load(); }

std::string GetCatalogName() {
    CatalogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.name;
}

namespace {

// Opens the library's catalog when the library is loaded. A missing catalog only changes the
// texts, so the result is not used.
struct CatalogAtLoad {
    CatalogAtLoad() noexcept {
        try {
            OpenCatalog(nullptr, ZAV_CATALOG_NAME, "");
        } catch (...) {
        }
    }
};
const CatalogAtLoad g_catalogAtLoad;

}  // namespace

}  // namespace zavToolsLib
