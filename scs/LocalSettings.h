// A destination's (or listener's) local property file: INI sections of settings keys. Immutable
// once loaded; a reload builds a new object and swaps it in.
#ifndef ZAV_SCS_LOCAL_SETTINGS_H
#define ZAV_SCS_LOCAL_SETTINGS_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "IniFile.h"

namespace zavscs {

class CLocalSettings {
public:
    // 0, or SCS_E_SETTINGS_FILE with a description in strError.
    uint32_t LoadFile(const std::string& strFile, std::string& strError);

    const std::string* Find(const std::string& strSection, const std::string& strKey) const {
        return m_ini.Find(strSection, strKey);
    }
    const std::string& File() const { return m_strFile; }
    size_t SkippedEntries() const { return m_ini.SkippedEntries(); }

private:
    std::string m_strFile;
    CIniFile m_ini;
};

}  // namespace zavscs

#endif
