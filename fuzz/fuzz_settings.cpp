// Fuzz target: the settings files of the session configuration component. The input is read as a
// local property file and as a comm settings file, through the same file reading the component
// uses. A comm settings file that loads must also load again after being saved, with the same
// content, since SCS_SaveCommSettings writes what a later SCS_LoadCommSettingsFile reads.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "CommSettings.h"
#include "FuzzSupport.h"
#include "LocalSettings.h"

namespace {

// One in-memory file for the whole run, rewritten for every read; the component opens it by
// name like any settings file.
class CMemoryFile {
public:
    CMemoryFile() : m_fd(memfd_create("zav-fuzz-settings", 0)) { ZAV_FUZZ_CHECK(m_fd >= 0); }
    ~CMemoryFile() { close(m_fd); }
    CMemoryFile(const CMemoryFile&) = delete;
    CMemoryFile& operator=(const CMemoryFile&) = delete;

    std::string Write(const void* bytes, size_t size) {
        ZAV_FUZZ_CHECK(ftruncate(m_fd, 0) == 0 && pwrite(m_fd, bytes, size, 0) == ssize_t(size));
        return "/proc/self/fd/" + std::to_string(m_fd);
    }

private:
    const int m_fd;
};

bool SameTransport(const zavscs::STransportOptions& a, const zavscs::STransportOptions& b) {
    return a.uConnectTimeout == b.uConnectTimeout && a.uTransferTimeout == b.uTransferTimeout &&
           a.strCaFile == b.strCaFile && a.strCaPath == b.strCaPath && a.strProxy == b.strProxy &&
           a.bVerifyPeer == b.bVerifyPeer && a.bVerifyHost == b.bVerifyHost;
}

void ReadLocalSettings(const std::string& path) {
    zavscs::CLocalSettings settings;
    std::string error;
    ZAV_FUZZ_CHECK(settings.LoadFile(path, error) == 0 || !error.empty());
}

void ReadCommSettings(CMemoryFile& file, const std::string& path) {
    zavscs::CCommSettings settings;
    std::string error;
    if (settings.LoadFile(path, error) != 0) {
        ZAV_FUZZ_CHECK(!error.empty());
        return;
    }
    for (const std::string& url : settings.Servers()) {
        ZAV_FUZZ_CHECK(zavscs::CCommSettings::IsServerUrl(url));
    }
    const std::string saved = settings.ToText();
    zavscs::CCommSettings reloaded;
    const uint32_t status = reloaded.LoadFile(file.Write(saved.data(), saved.size()), error);
    if (status != 0) {
        std::fprintf(stderr, "saved comm settings do not load again: %s\n", error.c_str());
    }
    ZAV_FUZZ_CHECK(status == 0);
    ZAV_FUZZ_CHECK(reloaded.Servers() == settings.Servers());
    ZAV_FUZZ_CHECK(SameTransport(reloaded.Transport(), settings.Transport()));
    ZAV_FUZZ_CHECK(reloaded.ToText() == saved);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CMemoryFile file;
    const std::string& path = file.Write(data, size);
    ReadLocalSettings(path);
    ReadCommSettings(file, path);
    return 0;
}
