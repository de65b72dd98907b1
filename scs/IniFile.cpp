#include "IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "../common/CFileDescriptor.h"
#include "ScsStatus.h"

namespace zavscs {

using zavCommon::CFileDescriptor;

namespace {

// strerror may share one buffer between threads; settings load on the host's threads. The GNU
// strerror_r returns the text, which is not always in the buffer.
std::string ErrorText(int iError) {
    char buffer[256];
    return strerror_r(iError, buffer, sizeof(buffer));
}

// The whole file, or false with strError set. O_NONBLOCK: opening a FIFO must not wait for a
// writer; only a regular file is read, so the flag changes nothing else.
bool ReadSettingsFile(const std::string& strFile, std::string& strText, std::string& strError) {
    const CFileDescriptor fd(open(strFile.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (fd.Get() < 0 || fstat(fd.Get(), &info) != 0) {
        const int iError = errno;
        strError = "cannot open '" + strFile + "': " + ErrorText(iError);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        strError = "'" + strFile + "' is not a regular file";
        return false;
    }
    const std::string strTooLarge =
        "'" + strFile + "' is larger than " + std::to_string(MAX_SETTINGS_FILE_SIZE) + " bytes";
    if (static_cast<unsigned long long>(info.st_size) > MAX_SETTINGS_FILE_SIZE) {
        strError = strTooLarge;
        return false;
    }
    // One byte more than allowed, in case the file grew since fstat.
    strText.resize(MAX_SETTINGS_FILE_SIZE + 1);
    size_t uRead = 0;
    while (uRead < strText.size()) {
        const ssize_t iCount = read(fd.Get(), &strText[uRead], strText.size() - uRead);
        if (iCount < 0 && errno == EINTR) {
            continue;
        }
        if (iCount < 0) {
            const int iError = errno;
            strError = "cannot read '" + strFile + "': " + ErrorText(iError);
            return false;
        }
        if (iCount == 0) {
            break;
        }
        uRead += static_cast<size_t>(iCount);
    }
    if (uRead > MAX_SETTINGS_FILE_SIZE) {
        strError = strTooLarge;
        return false;
    }
    strText.resize(uRead);
    return true;
}

// The first line (from 1) that libinih would not read as written: longer than its buffer, or
// holding a NUL byte (the parser would stop there); 0 when there is none.
size_t FindUnreadableLine(const std::string& strText, bool& bNul) {
    size_t uLine = 1;
    size_t uStart = 0;
    while (uStart < strText.size()) {
        size_t uEnd = strText.find('\n', uStart);
        const size_t uNext = uEnd == std::string::npos ? strText.size() : uEnd + 1;
        uEnd = uEnd == std::string::npos ? strText.size() : uEnd;
        // A CR before the LF is part of the line break, not of the line.
        const size_t uLength = uEnd - uStart - (uEnd > uStart && strText[uEnd - 1] == '\r' ? 1 : 0);
        bNul = std::memchr(strText.data() + uStart, '\0', uEnd - uStart) != nullptr;
        if (bNul || uLength > MAX_SETTINGS_LINE_LENGTH) {
            return uLine;
        }
        uStart = uNext;
        ++uLine;
    }
    return 0;
}

void TrimTrailingSpace(std::string& strText) {
    while (!strText.empty() && std::isspace(static_cast<unsigned char>(strText.back()))) {
        strText.pop_back();
    }
}

// The reader cuts an inline comment (a ';' after whitespace) and trailing blanks from a key=value
// line but not from a continuation line. Cutting a continuation's value the same way keeps what
// loads equal to what a save writes and loads back (as key=value).
void CutInlineComment(std::string& strValue) {
    for (size_t i = 1; i < strValue.size(); ++i) {
        if (strValue[i] == ';' && std::isspace(static_cast<unsigned char>(strValue[i - 1]))) {
            strValue.erase(i);
            break;
        }
    }
    TrimTrailingSpace(strValue);
}

}  // namespace

int CIniFile::OnEntry(void* pUser, const char* pSection, const char* pKey, const char* pValue) {
    auto* pThis = static_cast<CIniFile*>(pUser);
    try {
        std::string strValue = pValue != nullptr ? pValue : "";
        CutInlineComment(strValue);
        // A continuation line takes the key of the line before, cut to the reader's 49 bytes; a
        // cut can end in a blank, which a key=value line never keeps. Saved, the key would lose
        // it at the next load.
        std::string strKey = pKey;
        TrimTrailingSpace(strKey);
        if (strKey.empty()) {
            ++pThis->m_uSkipped;
            return 1;
        }
        if (!FitsOnOneLine(strKey, strValue)) {
            if (pThis->m_strTooLong.empty()) {
                pThis->m_strTooLong = std::string("[") + pSection + "] " + strKey;
            }
            return 0;
        }
        pThis->Add(pSection, std::move(strKey), std::move(strValue));
        return 1;
    } catch (...) {
        // Called from C: remember the failure and let the parser stop with an error.
        pThis->m_bOutOfMemory = true;
        return 0;
    }
}

uint32_t CIniFile::ParseFile(const std::string& strFile, std::string& strError) {
    m_entries.clear();
    m_uSkipped = 0;
    m_strTooLong.clear();
    std::string strText;
    if (!ReadSettingsFile(strFile, strText, strError)) {
        return SCS_E_SETTINGS_FILE;
    }
    bool bNul = false;
    const size_t uBadLine = FindUnreadableLine(strText, bNul);
    if (uBadLine != 0) {
        strError = strFile + " line " + std::to_string(uBadLine) +
                   (bNul ? ": NUL byte"
                         : ": longer than " + std::to_string(MAX_SETTINGS_LINE_LENGTH) + " bytes");
        return SCS_E_SETTINGS_FILE;
    }
    const int iResult = ini_parse_string(strText.c_str(), &CIniFile::OnEntry, this);
    if (m_bOutOfMemory || iResult == -2) {
        throw std::bad_alloc();
    }
    if (!m_strTooLong.empty()) {
        strError = strFile + ": " + m_strTooLong + " with its value does not fit on one line of " +
                   std::to_string(MAX_SETTINGS_LINE_LENGTH) + " bytes";
        return SCS_E_SETTINGS_FILE;
    }
    if (iResult > 0) {
        strError = strFile + " line " + std::to_string(iResult) + ": syntax error";
        return SCS_E_SETTINGS_FILE;
    }
    return 0;
}

const std::string* CIniFile::Find(const std::string& strSection, const std::string& strKey) const {
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->strSection == strSection && it->strKey == strKey) {
            return &it->strValue;
        }
    }
    return nullptr;
}

void CIniFile::Add(std::string strSection, std::string strKey, std::string strValue) {
    m_entries.push_back({std::move(strSection), std::move(strKey), std::move(strValue)});
}

std::string CIniFile::ToText() const {
    std::vector<const std::string*> sections;
    for (const auto& entry : m_entries) {
        bool bSeen = false;
        for (const auto* pSection : sections) {
            bSeen = bSeen || *pSection == entry.strSection;
        }
        if (!bSeen) {
            sections.push_back(&entry.strSection);
        }
    }
    std::string strText;
    for (const auto* pSection : sections) {
        strText += (strText.empty() ? "[" : "\n[") + *pSection + "]\n";
        for (const auto& entry : m_entries) {
            if (entry.strSection == *pSection) {
                strText += entry.strKey + "=" + entry.strValue + "\n";
            }
        }
    }
    return strText;
}

bool WriteFileAtomically(const std::string& strFile, const std::string& strText) {
    // A fresh name from mkstemp (O_EXCL, so never through a link planted at a fixed name), owner
    // only until it takes the permissions of the file it replaces.
    std::string strTemp = strFile + ".XXXXXX";
    const CFileDescriptor fd(mkostemp(strTemp.data(), O_CLOEXEC));
    if (fd.Get() < 0) {
        return false;
    }
    struct stat info {};
    bool bOk = stat(strFile.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
               fchmod(fd.Get(), info.st_mode & 07777) == 0;
    for (size_t uDone = 0; bOk && uDone < strText.size();) {
        const ssize_t iCount = write(fd.Get(), strText.data() + uDone, strText.size() - uDone);
        bOk = iCount > 0 || (iCount < 0 && errno == EINTR);
        uDone += iCount > 0 ? static_cast<size_t>(iCount) : 0;
    }
    if (!bOk || std::rename(strTemp.c_str(), strFile.c_str()) != 0) {
        unlink(strTemp.c_str());
        return false;
    }
    return true;
}

bool ParseUint32(const std::string& strText, uint32_t& uValue) {
    if (strText.empty() || strText.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    errno = 0;
    const unsigned long long ullValue = std::strtoull(strText.c_str(), nullptr, 10);
    if (errno != 0 || ullValue > 0xFFFFFFFFull) {
        return false;
    }
    uValue = static_cast<uint32_t>(ullValue);
    return true;
}

}  // namespace zavscs
