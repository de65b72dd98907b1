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
constexpr size_t MAX_SETTINGS_FILE_SIZE = size_t{1024} * 1024;
constexpr size_t MAX_SETTINGS_LINE_LENGTH = INI_MAX_LINE - 1;

// Whether an entry written back as "key=value" fits on one line the reader accepts.
inline bool FitsOnOneLine(const std::string& strKey, const std::string& strValue) {
    return strKey.size() + 1 + strValue.size() <= MAX_SETTINGS_LINE_LENGTH;
}

// What loads must save to a text that loads back to the same entries, so reading drops or refuses
// the two kinds of entry that could not be written back: one without a key (" = x" would read as
// a continuation of the line before) is skipped and counted; one that would not fit on one line
// (possible only for a value read from a continuation line under a long key) makes the file
// SCS_E_SETTINGS_FILE rather than being silently cut.
class CIniFile {
public:
    // 0, or SCS_E_SETTINGS_FILE with a description naming the file (and the line) in strError.
    uint32_t ParseFile(const std::string& strFile, std::string& strError);
    // Entries without a key that the last ParseFile skipped.
    size_t SkippedEntries() const { return m_uSkipped; }

    const std::string* Find(const std::string& strSection, const std::string& strKey) const;
    const std::vector<SIniEntry>& Entries() const { return m_entries; }
    void Add(std::string strSection, std::string strKey, std::string strValue);

    // INI text with the sections in order of first appearance, one "key=value" line per entry.
    // No blanks around the '=': a line read within the length limit is then written back within
    // it, whatever blanks it had.
    std::string ToText() const;

private:
    static int OnEntry(void* pUser, const char* pSection, const char* pKey, const char* pValue);

    std::vector<SIniEntry> m_entries;
    size_t m_uSkipped = 0;
    std::string m_strTooLong;  // "[section] key" of the first entry too long to write back
    bool m_bOutOfMemory = false;
};

// Writes text to a file through a temporary file and a rename, so readers never see half a file.
bool WriteFileAtomically(const std::string& strFile, const std::string& strText);

// Parses a decimal number that must fit in 32 bits; false for anything else.
bool ParseUint32(const std::string& strText, uint32_t& uValue);

}  // namespace zavscs

#endif
