#include "cml/CmlVersionRegistry.h"

#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "cml/CmlException.h"
#include "zavToolsLib/ConvertUTF.h"
#include "zavToolsLib/zavStatus.h"

namespace zav::cml {

namespace {

using VersionMap = std::map<std::wstring, std::wstring>;

// The lock is a function-local static so that registrations from other files' load-time
// objects find it constructed.
std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}

std::unique_ptr<VersionMap>& Registry() {
    // Never destroyed: an abandoned reader may still use it while the process exits.
    static std::unique_ptr<VersionMap>* const registry = new std::unique_ptr<VersionMap>;
    return *registry;
}

// Under the lock.
VersionMap& CreateLocked() {
    std::unique_ptr<VersionMap>& registry = Registry();
    if (registry) return *registry;
    try {
        registry = std::make_unique<VersionMap>();
        return *registry;
    } catch (const std::bad_alloc&) {
        throw CCmlException(L"Creating library version registry", L"Insufficient memory",
                            zavToolsLib::ZAV_E_BUFFER_FULL);
    }
}

struct CLoadTimeInit {
    CLoadTimeInit() noexcept {
        try {
            CreateLibraryVersionRegistry();
        } catch (...) {
            // Nothing may leave a static initialiser; the next call tries again.
        }
    }
};
const CLoadTimeInit g_loadTimeInit;

}  // namespace

void CreateLibraryVersionRegistry() {
    std::lock_guard<std::mutex> lock(RegistryLock());
    CreateLocked()[CML_CORE_LIBRARY_NAME] = CML_CORE_LIBRARY_VERSION;
}

void SetLibraryVersion(const std::wstring& name, const std::wstring& version) {
    std::lock_guard<std::mutex> lock(RegistryLock());
    CreateLocked()[name] = version;
}

void RemoveLibraryVersion(const std::wstring& name) {
    std::lock_guard<std::mutex> lock(RegistryLock());
    if (Registry()) Registry()->erase(name);
}

std::wstring GetLibraryVersion(const std::wstring& name) {
    std::lock_guard<std::mutex> lock(RegistryLock());
    if (!Registry()) return {};
    const auto it = Registry()->find(name);
    return it != Registry()->end() ? it->second : std::wstring();
}

void DumpLibraryVersions(std::ostream& os) {
    std::lock_guard<std::mutex> lock(RegistryLock());
    if (!Registry()) return;
    for (const auto& [name, version] : *Registry()) {
        os << "Library:  " << zavToolsLib::ToUtf8(name)
           << " version = " << zavToolsLib::ToUtf8(version) << '\n';
    }
    os.flush();
}

}  // namespace zav::cml
