// A destination's comm settings: the ordered server list and the transport options, kept in an
// INI file of sections [servers] and [transport] (format in README.md). Entries the component does
// not interpret are kept and written back by Save.
#ifndef ZAV_SCS_COMM_SETTINGS_H
#define ZAV_SCS_COMM_SETTINGS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "IniFile.h"

namespace zavscs {

// Bounds of max_response_size; a value outside them, or no number, gives the default.
constexpr uint32_t SCS_MAX_RESPONSE_DEFAULT = 64u * 1024u * 1024u;
constexpr uint32_t SCS_MAX_RESPONSE_MIN = 4096;
constexpr uint32_t SCS_MAX_RESPONSE_MAX = 1024u * 1024u * 1024u;

// Bounds of keep_alive_idle (seconds); outside them, or no number, gives the default.
constexpr uint32_t SCS_KEEP_ALIVE_IDLE_DEFAULT = 60;
constexpr uint32_t SCS_KEEP_ALIVE_IDLE_MIN = 1;
constexpr uint32_t SCS_KEEP_ALIVE_IDLE_MAX = 3600;

struct STransportOptions {
    uint32_t uConnectTimeout = 30000;                      // ms, when the caller passes 0
    uint32_t uTransferTimeout = 120000;                    // ms, when the caller passes 0
    uint32_t uMaxResponseSize = SCS_MAX_RESPONSE_DEFAULT;  // bytes of one answer
    std::string strCaFile;
    std::string strCaPath;
    std::string strProxy;  // empty: no proxy, whatever the environment says
    bool bVerifyPeer = true;
    bool bVerifyHost = true;
    bool bKeepAlive = true;  // false: a new connection for every post
    uint32_t uKeepAliveIdle = SCS_KEEP_ALIVE_IDLE_DEFAULT;  // s an idle connection is kept
};

class CCommSettings {
public:
    // 0, or SCS_E_SETTINGS_FILE with a description in strError; on failure the object is left in
    // an unspecified state and must be dropped.
    uint32_t LoadFile(const std::string& strFile, std::string& strError);
    std::string ToText() const;

    const std::string& File() const { return m_strFile; }
    const std::vector<std::string>& Servers() const { return m_servers; }
    const STransportOptions& Transport() const { return m_transport; }
    // Entries without a key that LoadFile skipped (they cannot be written back).
    size_t SkippedEntries() const { return m_uSkipped; }
    // Values LoadFile replaced by their defaults, one text each for the trace log.
    const std::vector<std::string>& Warnings() const { return m_warnings; }

    // 0 or SCS_E_INVALID_ARG (not an http or https URL, or too long for a line of a saved file).
    uint32_t AddServer(const std::string& strUrl);
    // 0 or SCS_E_BAD_SERVER_INDEX.
    uint32_t DeleteServer(uint32_t uIndex);

    static bool IsServerUrl(const std::string& strUrl);

private:
    // The value when it is a number from uMin to uMax, else uDefault with a warning.
    uint32_t InRange(const std::string& strKey, const std::string& strValue, uint32_t uMin,
                     uint32_t uMax, uint32_t uDefault);
    // Applies one [transport] entry; false when the key is none of the options (the entry is
    // then kept as it stands). bValid is false for a value that makes the file unusable.
    bool LoadTransportOption(const std::string& strKey, const std::string& strValue, bool& bValid);

    std::string m_strFile;
    std::vector<std::string> m_servers;
    STransportOptions m_transport;
    CIniFile m_other;
    size_t m_uSkipped = 0;
    std::vector<std::string> m_warnings;
};

}  // namespace zavscs

#endif
