#include "services/mslLoader.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <link.h>
#include <pthread.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "security/zavCryptoToolkit.h"
#include "security/zavSignature.h"
#include "zavToolsLib/ModuleDirectory.h"
#include "zavToolsLib/zavCatalog.h"
#include "zavToolsLib/zavError.h"
#include "zavToolsLib/zavStatus.h"
#include "zavToolsLib/zavTraceLog.h"

namespace zavServices {

using namespace zavToolsLib;

namespace {

constexpr const char* kLoadFunction = "mslLoader::LoadServiceLibrary()";
constexpr const char* kLookupFunction = "mslLoader::LookupSymbol()";
constexpr const char* kUnloadFunction = "mslLoader::UnloadServiceLibrary()";
constexpr const char* kLockFunction = "mslLoader::cLockTake()";
constexpr const char* kReleaseFunction = "mslLoader::cLockRelease()";
constexpr const char* kDestroyFunction = "mslLoader::cLockDestroy()";

// Path and extension buffers. The setters take no loader lock; this mutex only keeps a reader
// from seeing half a copy.
std::mutex g_settingsMutex;
char g_LoaderLibPath[MSL_PATH_BUFFER_SIZE] = "";
char g_strSigFileExt[MSL_PATH_BUFFER_SIZE] = "";
bool g_bExternalFileSigExtSet = false;

std::atomic<const asTraceLog*> g_pLoaderTraceLog{nullptr};

struct mslLock {
    pthread_mutex_t m_mutex;
    std::atomic<bool> m_bValid{false};
    std::atomic<int32_t> m_iCount{0};  // holds by the owner
};

// Serialises set-up and destruction of the loader locks themselves.
std::mutex g_lockSetupMutex;
mslLock g_loadLock;
mslLock g_libraryLock;

mslLock& GetLock(mslLockId lock) { return lock == mslLockId::Load ? g_loadLock : g_libraryLock; }

uint32_t SetUpLock(mslLock& lock) {
    std::lock_guard<std::mutex> guard(g_lockSetupMutex);
    if (lock.m_bValid.load()) {
        return 0;
    }
    pthread_mutexattr_t attributes;
    int error = pthread_mutexattr_init(&attributes);
    if (error == 0) {
        error = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
        if (error == 0) {
            error = pthread_mutex_init(&lock.m_mutex, &attributes);
        }
        pthread_mutexattr_destroy(&attributes);
    }
    if (error != 0) {
        mslLog(1, kLockFunction, "cLockInit() returned an error: %s",
               mslStatusText(static_cast<uint32_t>(error)).c_str());
        return static_cast<uint32_t>(error);
    }
    lock.m_iCount = 0;
    lock.m_bValid = true;
    return 0;
}

uint32_t DestroyLock(mslLock& lock) {
    std::lock_guard<std::mutex> guard(g_lockSetupMutex);
    if (!lock.m_bValid.load()) {
        return ZAV_E_LOCK_NOT_SET_UP;
    }
    while (lock.m_iCount.load() > 0) {
        if (ReleaseLoaderLock(&lock == &g_loadLock ? mslLockId::Load : mslLockId::Library) != 0) {
            break;
        }
    }
    const int error = pthread_mutex_destroy(&lock.m_mutex);
    if (error != 0) {
        mslLog(1, kDestroyFunction, "cLockDestroy() returned an error: %s",
               mslStatusText(static_cast<uint32_t>(error)).c_str());
        return static_cast<uint32_t>(error);
    }
    lock.m_bValid = false;
    return 0;
}

std::atomic<void (*)(const char*)> g_pVerifiedHook{nullptr};

// Empty when the directory cannot be had; the other places are still searched.
std::string ModuleDirectoryAtLoad() noexcept {
    try {
        return zavToolsLib::ModuleDirectory();
    } catch (...) {
        return {};
    }
}

// Found while the library is being loaded, before the host can change directory.
const std::string g_strModuleDirectory = ModuleDirectoryAtLoad();

std::string JoinPath(const std::string& directory, const char* name) {
    return directory.empty() || directory.back() == '/' ? directory + name : directory + "/" + name;
}

std::string CutToBuffer(std::string name) {
    if (name.size() > MSL_PATH_BUFFER_SIZE - 1) {
        name.resize(MSL_PATH_BUFFER_SIZE - 1);
    }
    return name;
}

// The files a library name stands for, in the order they are tried.
std::vector<std::string> CandidateFiles(const char* library) {
    std::string prefix;
    {
        std::lock_guard<std::mutex> guard(g_settingsMutex);
        prefix = g_LoaderLibPath;
    }
    const bool bHasPath = std::strchr(library, '/') != nullptr;
    if (!prefix.empty()) {
        if (bHasPath) {
            mslLog(2, kLoadFunction,
                   "'library' argument contains file path, though SetMSLLoaderLibPath() was "
                   "previously called.  You should probably omit the path and use just the libary "
                   "name during loading.");
        }
        return {CutToBuffer(prefix + library)};
    }
    if (bHasPath) {
        return {CutToBuffer(library)};
    }
    // A bare name is never left to dlopen's own search (LD_LIBRARY_PATH, RUNPATH, the cache) nor
    // read from the current directory: only these folders, in this order.
    std::vector<std::string> files;
    for (const std::string& directory : GetMSLLoaderSearchDirectories()) {
        files.push_back(CutToBuffer(JoinPath(directory, library)));
    }
    return files;
}

// Descriptors closed together at the end of a scope.
class CDescriptors {
public:
    CDescriptors() = default;
    ~CDescriptors() {
        for (const int fd : m_fds) {
            close(fd);
        }
    }
    CDescriptors(const CDescriptors&) = delete;
    CDescriptors& operator=(const CDescriptors&) = delete;
    int Add(int fd) {
        if (fd >= 0) {
            m_fds.push_back(fd);
        }
        return fd;
    }

private:
    std::vector<int> m_fds;
};

// Whether the dynamic linker already knows an object by this name. It matches names before files,
// so the name of a descriptor that was used for an earlier library and closed since would bring
// back that library instead of opening ours.
bool IsLoadedName(const std::string& name) {
    struct SSearch {
        const std::string* pName;
        bool bFound;
    } search{&name, false};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* pSearch = static_cast<SSearch*>(data);
            if (info->dlpi_name != nullptr && *pSearch->pName == info->dlpi_name) {
                pSearch->bFound = true;
                return 1;
            }
            return 0;
        },
        &search);
    return search.bFound;
}

// A /proc name through which the dynamic linker opens exactly the file behind fd and nothing
// else. While the name of fd is still known from before, duplicates are taken (kept open in
// descriptors, so that each gets a new number) until one has a fresh name. Empty if none can be
// had.
std::string DescriptorPath(int fd, CDescriptors& descriptors) {
    for (;;) {
        std::string path = "/proc/self/fd/" + std::to_string(fd);
        if (!IsLoadedName(path)) {
            return path;
        }
        fd = descriptors.Add(fcntl(fd, F_DUPFD_CLOEXEC, 0));
        if (fd < 0) {
            return "";
        }
    }
}

// glibc keeps dlerror's state per thread, so these are safe on any thread.
const char* DlErrorText() {
    const char* text = dlerror();  // NOLINT(concurrency-mt-unsafe): see above
    return text != nullptr ? text : "unknown error";
}
void ClearDlError() {
    dlerror();  // NOLINT(concurrency-mt-unsafe): see DlErrorText
}

// strerror may share one buffer between threads. The GNU strerror_r returns the text, which is
// not always in the buffer.
std::string ErrorText(int error) {
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);
}

}  // namespace

std::string mslStatusText(uint32_t status) {
    try {
        ZAVError error(status);
        return error.GetText(ZAV_MAX_LINE_WIDTH);
    } catch (...) {
        char id[12];
        FormatStatusId(status, id);
        return id;
    }
}

void mslLog(uint32_t level, const char* function, const char* format, ...) {
    const asTraceLog* log = g_pLoaderTraceLog.load();
    if (!LogEnabled(log, level)) {
        return;
    }
    char line[MSL_PATH_BUFFER_SIZE + 256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    Log(log, level, line, function);
}

void SetMSLLoaderLibPath(const char* path) {
    std::string stored;
    {
        std::lock_guard<std::mutex> guard(g_settingsMutex);
        g_LoaderLibPath[0] = '\0';
        if (path != nullptr && path[0] != '\0') {
            // Leave room for the "/" and the terminator.
            size_t length = std::strlen(path);
            if (length > MSL_PATH_BUFFER_SIZE - 2) {
                length = MSL_PATH_BUFFER_SIZE - 2;
            }
            std::memcpy(g_LoaderLibPath, path, length);
            if (path[length - 1] != '/') {
                g_LoaderLibPath[length++] = '/';
            }
            g_LoaderLibPath[length] = '\0';
        }
        stored = g_LoaderLibPath;
    }
    mslLog(8, "mslLoader::SetMSLLoaderLibPath()", "g_LoaderLibPath set to: '%s'", stored.c_str());
}

std::string GetMSLLoaderLibPath() {
    std::lock_guard<std::mutex> guard(g_settingsMutex);
    return g_LoaderLibPath;
}

void SetMSLLoaderExtSigFileExtension(const char* extension) {
    std::string stored;
    bool bSet;
    {
        std::lock_guard<std::mutex> guard(g_settingsMutex);
        g_strSigFileExt[0] = '\0';
        if (extension != nullptr && extension[0] != '\0') {
            std::snprintf(g_strSigFileExt, sizeof g_strSigFileExt, "%s", extension);
            g_bExternalFileSigExtSet = true;
        }
        stored = g_strSigFileExt;
        bSet = g_bExternalFileSigExtSet;
    }
    mslLog(8, "mslLoader::SetMSLLoaderExtSigFileExtension()",
           "sigFileExt set to: '%s', g_bExternalFileSigExtSet:  '%s'", stored.c_str(),
           bSet ? "TRUE" : "FALSE");
}

std::string GetMSLLoaderExtSigFileExtension() {
    std::lock_guard<std::mutex> guard(g_settingsMutex);
    return g_strSigFileExt;
}

bool GetExternalFileSigExtSet() {
    std::lock_guard<std::mutex> guard(g_settingsMutex);
    return g_bExternalFileSigExtSet;
}

void SetMSLLoaderTraceLog(const asTraceLog* log) {
    g_pLoaderTraceLog.store(log);
    zavSecurity::SetCryptoToolkitTraceLog(log);
    // The loader's texts come from the library's catalog, normally opened when the library was
    // loaded; a host that got here without it gets another try.
    if (GetCatalogHandle() == NoCatalog()) {
        OpenCatalog(nullptr, ZAV_CATALOG_NAME, "");
    }
}

const asTraceLog* GetMSLLoaderTraceLog() { return g_pLoaderTraceLog.load(); }

uint32_t InitLibHandle(mslLibHandle* phLibHandle) {
    if (phLibHandle == nullptr) {
        return ZAV_E_INVALID_ARG;
    }
    CMslLockGuard guard(mslLockId::Library);
    if (guard.TakeStatus() != 0) {
        return guard.TakeStatus();
    }
    if (phLibHandle->m_iRefCount++ == 0 && phLibHandle->m_pLibrary == nullptr) {
        phLibHandle->m_uStatus = 0;
        phLibHandle->m_strFileName.clear();
    }
    return guard.Release();
}

uint32_t DestroyLibHandle(mslLibHandle* phLibHandle) {
    if (phLibHandle == nullptr) {
        return ZAV_E_INVALID_ARG;
    }
    CMslLockGuard guard(mslLockId::Library);
    if (guard.TakeStatus() != 0) {
        return guard.TakeStatus();
    }
    uint32_t status = 0;
    if (phLibHandle->m_iRefCount > 0 && --phLibHandle->m_iRefCount == 0) {
        if (phLibHandle->m_pLibrary != nullptr) {
            status = UnloadServiceLibrary(phLibHandle);
        }
        phLibHandle->m_strFileName.clear();
    }
    const uint32_t releaseStatus = guard.Release();
    return status != 0 ? status : releaseStatus;
}

std::vector<std::string> GetMSLLoaderSearchDirectories() {
    std::vector<std::string> directories;
    for (const std::string& directory : {g_strModuleDirectory, std::string(ZAV_INSTALL_LIBDIR)}) {
        if (!directory.empty() &&
            std::find(directories.begin(), directories.end(), directory) == directories.end()) {
            directories.push_back(directory);
        }
    }
    return directories;
}

void SetMSLLoaderVerifiedHook(void (*hook)(const char* file)) { g_pVerifiedHook.store(hook); }

uint32_t LoadServiceLibrary(const char* library, mslLibHandle* phLibHandle) {
    if (library == nullptr || library[0] == '\0') {
        mslLog(1, kLoadFunction, "'library' argument is NULL");
        return ZAV_E_INVALID_ARG;
    }
    if (phLibHandle == nullptr) {
        mslLog(1, kLoadFunction, "'phLibHandle' argument is NULL");
        return ZAV_E_INVALID_ARG;
    }
    const std::vector<std::string> candidates = CandidateFiles(library);

    uint32_t status = zavSecurity::StartCryptoToolkit(g_pLoaderTraceLog.load(), kLoadFunction);
    if (status != 0) {
        return status;
    }

    CMslLockGuard guard(mslLockId::Library);
    if (guard.TakeStatus() != 0) {
        return guard.TakeStatus();
    }
    if (phLibHandle->m_pLibrary != nullptr) {
        mslLog(1, kLoadFunction, "'phLibHandle' argument already holds an open library");
        return ZAV_E_INVALID_ARG;
    }
    auto fail = [&](uint32_t failure) {
        phLibHandle->m_uStatus = failure;
        guard.Release();
        return failure;
    };

    // The first place that has the file is the one used: a bad file there is refused, not
    // passed over for an older one further on.
    CDescriptors descriptors;
    int fd = -1;
    std::string fullName;
    std::string looked;
    for (const std::string& candidate : candidates) {
        mslLog(8, kLoadFunction, "Full library to load: %s", candidate.c_str());
        fd = descriptors.Add(open(candidate.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd >= 0) {
            fullName = candidate;
            break;
        }
        if (errno != ENOENT && errno != ENOTDIR) {
            mslLog(1, kLoadFunction, "cannot open %s: %s", candidate.c_str(),
                   ErrorText(errno).c_str());
            return fail(ZAV_E_LIB_OPEN);
        }
        looked += (looked.empty() ? "" : ", ") + candidate;
    }
    if (fd < 0) {
        mslLog(1, kLoadFunction, "component not found: %s", looked.c_str());
        return fail(ZAV_E_LIB_OPEN);
    }

    // The signature is checked over the bytes of this descriptor, and the dynamic linker maps the
    // same file through it: renaming another file over the name in between changes nothing.
    const bool bExternal = GetExternalFileSigExtSet();
    const std::string extension = GetMSLLoaderExtSigFileExtension();
    std::vector<uint8_t> image;
    status = zavSecurity::ReadDescriptorBytes(fd, image);
    if (status == 0) {
        status = zavSecurity::VerifyImageSignature(image, fullName,
                                                   bExternal ? extension.c_str() : nullptr);
    }
    if (status != 0) {
        mslLog(1, kLoadFunction, "VerifyFileSignature() returned an error: %s",
               mslStatusText(status).c_str());
        return fail(status);
    }
    image = std::vector<uint8_t>();
    if (auto hook = g_pVerifiedHook.load()) {
        hook(fullName.c_str());
    }
    const std::string descriptorPath = DescriptorPath(fd, descriptors);
    ClearDlError();
    void* opened =
        descriptorPath.empty() ? nullptr : dlopen(descriptorPath.c_str(), RTLD_LAZY | RTLD_GLOBAL);
    if (opened == nullptr) {
        mslLog(1, kLoadFunction, "cLibLoadLibrary() returned an error: %s",
               descriptorPath.empty() ? ErrorText(errno).c_str() : DlErrorText());
        return fail(ZAV_E_LIB_OPEN);
    }
    phLibHandle->m_pLibrary = opened;
    phLibHandle->m_uStatus = 0;
    phLibHandle->m_strFileName = fullName;
    status = guard.Release();
    mslLog(8, kLoadFunction, "Successfully loaded library:  '%s'", fullName.c_str());
    return status;
}

uint32_t LookupSymbol(mslLibHandle* phLibHandle, void** ppSymbol, const char* symbol) {
    CMslLockGuard guard(mslLockId::Library);
    if (guard.TakeStatus() != 0) {
        return guard.TakeStatus();
    }
    if (symbol == nullptr || symbol[0] == '\0') {
        mslLog(1, kLookupFunction, "'symbol' argument is NULL");
        return ZAV_E_INVALID_ARG;
    }
    if (phLibHandle == nullptr || ppSymbol == nullptr) {
        mslLog(1, kLookupFunction, "'phLibHandle' argument is NULL");
        return ZAV_E_INVALID_ARG;
    }
    if (phLibHandle->m_pLibrary == nullptr) {
        phLibHandle->m_uStatus = ZAV_E_NO_SERVER;
        return ZAV_E_NO_SERVER;
    }
    ClearDlError();
    void* address = dlsym(phLibHandle->m_pLibrary, symbol);
    if (address == nullptr) {
        mslLog(1, kLookupFunction, "Error mapping symbol:  '%s'", symbol);
        phLibHandle->m_uStatus = ZAV_E_LIB_SYMBOL;
        return ZAV_E_LIB_SYMBOL;
    }
    *ppSymbol = address;
    phLibHandle->m_uStatus = 0;
    return guard.Release();
}

uint32_t UnloadServiceLibrary(mslLibHandle* phLibHandle) {
    if (phLibHandle == nullptr) {
        mslLog(1, kUnloadFunction, "'phLibHandle' argument is NULL");
        return ZAV_E_INVALID_ARG;
    }
    CMslLockGuard guard(mslLockId::Library);
    if (guard.TakeStatus() != 0) {
        return guard.TakeStatus();
    }
    if (phLibHandle->m_pLibrary == nullptr) {
        phLibHandle->m_uStatus = ZAV_E_NO_SERVER;
        return ZAV_E_NO_SERVER;
    }
    ClearDlError();
    const int result = dlclose(phLibHandle->m_pLibrary);
    phLibHandle->m_pLibrary = nullptr;
    if (result != 0) {
        mslLog(1, kUnloadFunction, "cLibFreeLibrary() returned an error: %s", DlErrorText());
        phLibHandle->m_uStatus = ZAV_E_LIB_CLOSE;
        return ZAV_E_LIB_CLOSE;
    }
    phLibHandle->m_uStatus = 0;
    return guard.Release();
}

uint32_t TakeLoaderLock(mslLockId id) {
    mslLock& lock = GetLock(id);
    if (!lock.m_bValid.load()) {
        const uint32_t status = SetUpLock(lock);
        if (status != 0) {
            return status;
        }
    }
    const int error = pthread_mutex_lock(&lock.m_mutex);
    if (error != 0) {
        mslLog(1, kLockFunction, "cLockTake() returned an error: %s",
               mslStatusText(static_cast<uint32_t>(error)).c_str());
        return static_cast<uint32_t>(error);
    }
    ++lock.m_iCount;
    return 0;
}

uint32_t ReleaseLoaderLock(mslLockId id) {
    mslLock& lock = GetLock(id);
    if (!lock.m_bValid.load() && lock.m_iCount.load() == 0) {
        return ZAV_E_LOCK_NOT_SET_UP;
    }
    if (lock.m_iCount.load() <= 0) {
        return ZAV_I_LOCK_NOT_HELD;
    }
    // Only the owner may change the count, and only while it still holds the mutex.
    int error = pthread_mutex_trylock(&lock.m_mutex);
    if (error != 0) {
        error = EPERM;  // held by another thread
        mslLog(1, kReleaseFunction, "cLockRelease() for recursive iteration returned an error: %s",
               mslStatusText(static_cast<uint32_t>(error)).c_str());
        return static_cast<uint32_t>(error);
    }
    pthread_mutex_unlock(&lock.m_mutex);  // the probe hold
    --lock.m_iCount;
    pthread_mutex_unlock(&lock.m_mutex);
    return 0;
}

CMslLockGuard::CMslLockGuard(mslLockId lock)
    : m_lock(lock), m_uTakeStatus(TakeLoaderLock(lock)), m_bHeld(m_uTakeStatus == 0) {}

CMslLockGuard::~CMslLockGuard() { Release(); }

uint32_t CMslLockGuard::Release() {
    if (!m_bHeld) {
        return 0;
    }
    m_bHeld = false;
    return ReleaseLoaderLock(m_lock);
}

uint32_t mslLoaderCleanup() {
    uint32_t first = 0;
    for (mslLock* lock : {&g_loadLock, &g_libraryLock}) {
        if (!lock->m_bValid.load()) {
            continue;
        }
        const uint32_t status = DestroyLock(*lock);
        if (first == 0) {
            first = status;
        }
    }
    return first;
}

}  // namespace zavServices
