// The entries of an INI file in file order, read with libinih. Section and key names are matched
// exactly (case-sensitive); a key given twice in a section takes its last value.
#ifndef ZAV_SCS_INI_FILE_H
#define ZAV_SCS_INI_FILE_H

#include <ini.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zavscs {

struct SIniEntry {
    std::string strSection;
    std::string strKey;
    std::string strValue;
};

// Settings files are less trusted than code. Only a regular file of at most this many bytes is
// read, and a line (before its line break; a UTF-8 BOM counts on the first line) must fit in
// libinih's line buffer, which would otherwise cut it silently and parse the rest as a new line.
constexpr size_t MAX_SETTINGS_FILE_SIZE = 1024 * 1024;
constexpr size_t MAX_SETTINGS_LINE_LENGTH = INI_MAX_LINE - 1;

class CIniFile {
public:
    // 0, or SCS_E_SETTINGS_FILE with a description naming the file (and the line) in strError.
    uint32_t ParseFile(const std::string& strFile, std::string& strError);

    const std::string* Find(const std::string& strSection, const std::string& strKey) const;
    const std::vector<SIniEntry>& Entries() const { return m_entries; }
    void Add(std::string strSection, std::string strKey, std::string strValue);

    // INI text with the sections in order of first appearance.
    std::string ToText() const;

private:
    static int OnEntry(void* pUser, const char* pSection, const char* pKey, const char* pValue);

    std::vector<SIniEntry> m_entries;
    bool m_bOutOfMemory = false;
};

// Writes text to a file through a temporary file and a rename, so readers never see half a file.
bool WriteFileAtomically(const std::string& strFile, const std::string& strText);

// Parses a decimal number that must fit in 32 bits; false for anything else.
bool ParseUint32(const std::string& strText, uint32_t& uValue);

}  // namespace zavscs

#endif
