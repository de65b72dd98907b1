#include "AgentIdStore.h"

#include <unistd.h>

#include "IniFile.h"
#include "ScsStatus.h"

namespace zavscs {

namespace {

const char* const AGENT = "agent";
const char* const AGENT_ID = "agent_id";
const char* const LAST_GOOD = "last_good_agent_id";

void Adopt(std::string& strField, const std::string* pValue) {
    if (strField.empty() && pValue != nullptr) {
        strField = *pValue;
    }
}

}  // namespace

void CAgentIdStore::Configure(const CLocalSettings& local, const CTraceLog& log) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::string* pFile = local.Find(AGENT, "agent_id_file");
    if (m_strFile.empty() && pFile != nullptr && !pFile->empty()) {
        m_strFile = *pFile;
        CIniFile ini;
        std::string strError;
        if (ini.ParseFile(m_strFile, strError) == 0) {
            Adopt(m_strAgentId, ini.Find(AGENT, AGENT_ID));
            Adopt(m_strLastGood, ini.Find(AGENT, LAST_GOOD));
        } else if (access(m_strFile.c_str(), F_OK) == 0) {
            log.Write(TRACE_WARNING, "Agent id file not used: " + strError,
                      "CAgentIdStore::Configure()");
        }
    }
    Adopt(m_strAgentId, local.Find(AGENT, AGENT_ID));
}

uint32_t CAgentIdStore::Get(std::string& strAgentId) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    strAgentId = !m_strAgentId.empty() ? m_strAgentId : m_strLastGood;
    return strAgentId.empty() ? SCS_E_NO_AGENT_ID : 0;
}

uint32_t CAgentIdStore::Set(const std::string& strAgentId) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return Store(m_strAgentId, strAgentId);
}

uint32_t CAgentIdStore::SetLastGood(const std::string& strAgentId) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return Store(m_strLastGood, strAgentId);
}

void CAgentIdStore::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_strAgentId.clear();
    m_strLastGood.clear();
    m_strFile.clear();
}

uint32_t CAgentIdStore::Store(std::string& strField, const std::string& strAgentId) {
    for (const char c : strAgentId) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return SCS_E_INVALID_ARG;
        }
    }
    strField = strAgentId;
    if (m_strFile.empty()) {
        return 0;
    }
    CIniFile ini;
    ini.Add(AGENT, AGENT_ID, m_strAgentId);
    ini.Add(AGENT, LAST_GOOD, m_strLastGood);
    return WriteFileAtomically(m_strFile, ini.ToText()) ? 0 : SCS_E_WRITE_FAILED;
}

}  // namespace zavscs
