#include "CommSettings.h"

#include <strings.h>

#include "ScsStatus.h"
#include "TraceLog.h"

namespace zavscs {

namespace {

const char* const SERVERS = "servers";
const char* const TRANSPORT = "transport";

bool ParseBool(const std::string& strText, bool& bValue) {
    for (const char* pTrue : {"1", "true", "yes", "on"}) {
        if (strcasecmp(strText.c_str(), pTrue) == 0) {
            bValue = true;
            return true;
        }
    }
    for (const char* pFalse : {"0", "false", "no", "off"}) {
        if (strcasecmp(strText.c_str(), pFalse) == 0) {
            bValue = false;
            return true;
        }
    }
    return false;
}

}  // namespace

bool CCommSettings::IsServerUrl(const std::string& strUrl) {
    for (const char* pScheme : {"http://", "https://"}) {
        const size_t uLength = std::char_traits<char>::length(pScheme);
        if (strUrl.size() > uLength && strncasecmp(strUrl.c_str(), pScheme, uLength) == 0 &&
            strUrl.find_first_of(" \t\r\n") == std::string::npos) {
            return true;
        }
    }
    return false;
}

uint32_t CCommSettings::InRange(const std::string& strKey, const std::string& strValue,
                                uint32_t uMin, uint32_t uMax, uint32_t uDefault) {
    uint32_t uNumber = 0;
    if (ParseUint32(strValue, uNumber) && uNumber >= uMin && uNumber <= uMax) {
        return uNumber;
    }
    m_warnings.push_back("[transport] " + strKey + " '" + strValue + "' is not a number from " +
                         std::to_string(uMin) + " to " + std::to_string(uMax) + "; using " +
                         std::to_string(uDefault));
    return uDefault;
}

bool CCommSettings::LoadTransportOption(const std::string& strKey, const std::string& strValue,
                                        bool& bValid) {
    if (strKey == "connect_timeout") {
        bValid = ParseUint32(strValue, m_transport.uConnectTimeout);
    } else if (strKey == "transfer_timeout") {
        bValid = ParseUint32(strValue, m_transport.uTransferTimeout);
    } else if (strKey == "max_response_size") {
        // A bad limit must not cost the destination its servers: the default stands in.
        m_transport.uMaxResponseSize = InRange(strKey, strValue, SCS_MAX_RESPONSE_MIN,
                                               SCS_MAX_RESPONSE_MAX, SCS_MAX_RESPONSE_DEFAULT);
    } else if (strKey == "keep_alive") {
        // A bad switch keeps connections alive, as with no key: only speed depends on it.
        if (!ParseBool(strValue, m_transport.bKeepAlive)) {
            m_transport.bKeepAlive = true;
            m_warnings.push_back("[transport] keep_alive '" + strValue +
                                 "' is not a switch (0 or 1); using 1");
        }
    } else if (strKey == "keep_alive_idle") {
        m_transport.uKeepAliveIdle = InRange(strKey, strValue, SCS_KEEP_ALIVE_IDLE_MIN,
                                             SCS_KEEP_ALIVE_IDLE_MAX, SCS_KEEP_ALIVE_IDLE_DEFAULT);
    } else if (strKey == "ca_file") {
        m_transport.strCaFile = strValue;
    } else if (strKey == "ca_path") {
        m_transport.strCaPath = strValue;
    } else if (strKey == "proxy") {
        m_transport.strProxy = strValue;
    } else if (strKey == "verify_peer") {
        bValid = ParseBool(strValue, m_transport.bVerifyPeer);
    } else if (strKey == "verify_host") {
        bValid = ParseBool(strValue, m_transport.bVerifyHost);
    } else {
        return false;
    }
    return true;
}

uint32_t CCommSettings::LoadFile(const std::string& strFile, std::string& strError) {
    m_strFile = strFile;
    CIniFile ini;
    const uint32_t uStatus = ini.ParseFile(strFile, strError);
    if (uStatus != 0) {
        return uStatus;
    }
    m_uSkipped = ini.SkippedEntries();
    for (const auto& entry : ini.Entries()) {
        const std::string& strKey = entry.strKey;
        const std::string& strValue = entry.strValue;
        bool bValid = true;
        if (entry.strSection == SERVERS && strKey == "url") {
            bValid = IsServerUrl(strValue);
            if (bValid) {
                m_servers.push_back(strValue);
            }
        } else if (entry.strSection != TRANSPORT ||
                   !LoadTransportOption(strKey, strValue, bValid)) {
            m_other.Add(entry.strSection, strKey, strValue);
        }
        if (!bValid) {
            // Masked as one URL: a blank inside it would end the URL for the trace log's mask.
            strError = "invalid value for [" + entry.strSection + "] " + strKey + ": '" +
                       MaskUrlCredentials(strValue, true) + "'";
            return SCS_E_SETTINGS_FILE;
        }
    }
    return 0;
}

std::string CCommSettings::ToText() const {
    CIniFile ini;
    for (const auto& strUrl : m_servers) {
        ini.Add(SERVERS, "url", strUrl);
    }
    ini.Add(TRANSPORT, "connect_timeout", std::to_string(m_transport.uConnectTimeout));
    ini.Add(TRANSPORT, "transfer_timeout", std::to_string(m_transport.uTransferTimeout));
    if (m_transport.uMaxResponseSize != SCS_MAX_RESPONSE_DEFAULT) {
        ini.Add(TRANSPORT, "max_response_size", std::to_string(m_transport.uMaxResponseSize));
    }
    ini.Add(TRANSPORT, "ca_file", m_transport.strCaFile);
    ini.Add(TRANSPORT, "ca_path", m_transport.strCaPath);
    ini.Add(TRANSPORT, "proxy", m_transport.strProxy);
    ini.Add(TRANSPORT, "verify_peer", m_transport.bVerifyPeer ? "1" : "0");
    ini.Add(TRANSPORT, "verify_host", m_transport.bVerifyHost ? "1" : "0");
    ini.Add(TRANSPORT, "keep_alive", m_transport.bKeepAlive ? "1" : "0");
    ini.Add(TRANSPORT, "keep_alive_idle", std::to_string(m_transport.uKeepAliveIdle));
    for (const auto& entry : m_other.Entries()) {
        ini.Add(entry.strSection, entry.strKey, entry.strValue);
    }
    return ini.ToText();
}

uint32_t CCommSettings::AddServer(const std::string& strUrl) {
    // A URL that could not be saved loadably is refused here, not at the next load.
    if (!IsServerUrl(strUrl) || !FitsOnOneLine("url", strUrl)) {
        return SCS_E_INVALID_ARG;
    }
    m_servers.push_back(strUrl);
    return 0;
}

uint32_t CCommSettings::DeleteServer(uint32_t uIndex) {
    if (uIndex >= m_servers.size()) {
        return SCS_E_BAD_SERVER_INDEX;
    }
    m_servers.erase(m_servers.begin() + uIndex);
    return 0;
}

}  // namespace zavscs
