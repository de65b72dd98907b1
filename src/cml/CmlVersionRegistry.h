// The library version registry: which CML libraries (and their users) are in the process, at
// which version. Process-wide, guarded by its own lock.
#pragma once

#include <ostream>
#include <string>

namespace zav::cml {

inline constexpr wchar_t CML_CORE_LIBRARY_NAME[] = L"CmlCore";
inline constexpr wchar_t CML_CORE_LIBRARY_VERSION[] = L"1.0.0";

// Makes sure the registry exists and records CmlCore. Runs at load time as well.
void CreateLibraryVersionRegistry();
// Inserts or overwrites.
void SetLibraryVersion(const std::wstring& name, const std::wstring& version);
void RemoveLibraryVersion(const std::wstring& name);
// The recorded version, or an empty string.
std::wstring GetLibraryVersion(const std::wstring& name);
// One line per entry in name order: "Library:  " + name + " version = " + version (UTF-8).
void DumpLibraryVersions(std::ostream& os);

}  // namespace zav::cml
