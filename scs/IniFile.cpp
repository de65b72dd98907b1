#include "IniFile.h"

#include <ini.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>

#include "ScsStatus.h"

namespace zavscs {

int CIniFile::OnEntry(void* pUser, const char* pSection, const char* pKey, const char* pValue) {
    auto* pThis = static_cast<CIniFile*>(pUser);
    try {
        pThis->Add(pSection, pKey, pValue != nullptr ? pValue : "");
        return 1;
    } catch (...) {
        // Called from C: remember the failure and let the parser stop with an error.
        pThis->m_bOutOfMemory = true;
        return 0;
    }
}

uint32_t CIniFile::ParseFile(const std::string& strFile, std::string& strError) {
    m_entries.clear();
    const int iResult = ini_parse(strFile.c_str(), &CIniFile::OnEntry, this);
    if (m_bOutOfMemory || iResult == -2) {
        throw std::bad_alloc();
    }
    if (iResult == -1) {
        strError = "cannot open '" + strFile + "'";
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
                strText += entry.strKey + " = " + entry.strValue + "\n";
            }
        }
    }
    return strText;
}

bool WriteFileAtomically(const std::string& strFile, const std::string& strText) {
    const std::string strTemp = strFile + ".tmp";
    {
        std::ofstream out(strTemp, std::ios::binary | std::ios::trunc);
        out << strText;
        out.flush();
        if (!out) {
            std::remove(strTemp.c_str());
            return false;
        }
    }
    if (std::rename(strTemp.c_str(), strFile.c_str()) != 0) {
        std::remove(strTemp.c_str());
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
