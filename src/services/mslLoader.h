// mslLoader: opens sibling service libraries at run time and binds their entry points. Every
// library's file signature is verified before it is opened (security/zavSignature.h); a library
// whose signature is missing, malformed or does not match is never opened.
//
// Where a library is looked for: with a directory prefix set, there only; a name with a "/" as
// given; a bare name in GetMSLLoaderSearchDirectories(), in order, never through dlopen's own
// search nor in the current directory. The first place that has the file is used. The file is
// opened once; its signature is checked over the bytes of that descriptor and the dynamic linker
// maps it through /proc/self/fd, so what was checked is what gets mapped.
//
// The settings below are process-wide and take effect at the next open. Loader lines go to the
// loader's trace log with the function names "mslLoader::<operation>()".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zavEventQuerySvcs.h"

namespace zavServices {

// Size of the path and extension buffers; full library names are cut to one less.
constexpr size_t MSL_PATH_BUFFER_SIZE = 4096;

// Directory prefix for library names. A non-empty path is stored with exactly one trailing "/"
// added when it has none; an empty or null path removes the prefix.
void SetMSLLoaderLibPath(const char* path);
std::string GetMSLLoaderLibPath();

// Extension of external signature files ("file" + extension). A non-empty extension is stored and
// makes the loader check that file only; an empty one empties the text and leaves the choice as
// it was (it cannot be undone within the process).
void SetMSLLoaderExtSigFileExtension(const char* extension);
std::string GetMSLLoaderExtSigFileExtension();
bool GetExternalFileSigExtSet();

// Trace log of the loader and of the cryptographic toolkit's start-up; null writes nothing.
// The status texts in its lines come from the library's catalog (zav-MgmtSvcs.cat).
void SetMSLLoaderTraceLog(const asTraceLog* log);
const asTraceLog* GetMSLLoaderTraceLog();

// One library opened by the loader. The handle does not close its library when destroyed: at
// process exit a dispatch thread may still run inside it, so only UnloadServiceLibrary closes.
struct mslLibHandle {
    void* m_pLibrary = nullptr;  // dlopen handle, null while closed
    uint32_t m_uStatus = 0;      // last status of an open, look-up or close
    std::string m_strFileName;   // full name of the open file
    int32_t m_iRefCount = 0;     // set-ups not yet released

    mslLibHandle() = default;
    mslLibHandle(const mslLibHandle&) = delete;
    mslLibHandle& operator=(const mslLibHandle&) = delete;
};

// Set-up and release of a handle; they count, and the last release forgets the file name (and
// closes a library still open). 0 or ZAV_E_INVALID_ARG.
uint32_t InitLibHandle(mslLibHandle* phLibHandle);
uint32_t DestroyLibHandle(mslLibHandle* phLibHandle);

// Folders searched for a bare library name while no directory prefix is set: the folder of the
// file holding the loader (libzavEventQuerySvcs5.so; symlinks resolved), then the library folder
// of the install prefix the build was configured with.
std::vector<std::string> GetMSLLoaderSearchDirectories();

// Finds the file (see above), verifies its signature (external extension, else its own, else
// ".sig") and opens it with lazy binding and global symbols. Returns 0, ZAV_E_INVALID_ARG,
// ZAV_E_CRYPTO_INIT, a ZAV_E_SIG_* status or ZAV_E_LIB_OPEN (also when no place has the file:
// the trace names every place looked at).
uint32_t LoadServiceLibrary(const char* library, mslLibHandle* phLibHandle);

// For tests: called with the file name after the signature check and before the dynamic linker
// opens the file; null removes it.
void SetMSLLoaderVerifiedHook(void (*hook)(const char* file));

// *ppSymbol receives the address of symbol. 0, ZAV_E_INVALID_ARG, ZAV_E_NO_SERVER (no library
// open) or ZAV_E_LIB_SYMBOL.
uint32_t LookupSymbol(mslLibHandle* phLibHandle, void** ppSymbol, const char* symbol);
// 0, ZAV_E_INVALID_ARG, ZAV_E_NO_SERVER (no library open; 0xC7210009) or ZAV_E_LIB_CLOSE.
uint32_t UnloadServiceLibrary(mslLibHandle* phLibHandle);

// The loader's two recursive locks, set up on first use: Load serialises the counted load and
// unload of components, Library every open, look-up and close.
enum class mslLockId { Load, Library };
// 0 or the error number of the failed set-up or take.
uint32_t TakeLoaderLock(mslLockId id);
// 0, ZAV_E_LOCK_NOT_SET_UP, ZAV_I_LOCK_NOT_HELD or the error number of the failed release.
uint32_t ReleaseLoaderLock(mslLockId id);

// Holds a loader lock for a scope; Release reports the status of an early release.
class CMslLockGuard {
public:
    explicit CMslLockGuard(mslLockId lock);
    ~CMslLockGuard();
    CMslLockGuard(const CMslLockGuard&) = delete;
    CMslLockGuard& operator=(const CMslLockGuard&) = delete;
    uint32_t TakeStatus() const { return m_uTakeStatus; }
    uint32_t Release();

private:
    mslLockId m_lock;
    uint32_t m_uTakeStatus;
    bool m_bHeld;
};

// Destroys the loader's locks (each released as often as the caller holds it); the next use sets
// them up again. Returns the first failure.
uint32_t mslLoaderCleanup();

// For the loader's own modules: the text of a status, and a formatted line to the loader's log.
std::string mslStatusText(uint32_t status);
void mslLog(uint32_t level, const char* function, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace zavServices
