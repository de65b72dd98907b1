// The agent id of the process: a current id and a last good id (the one a server last accepted).
// Seeded from section [agent] of the local property files (agent_id, agent_id_file); when an agent
// id file is configured, every change is written to it and it seeds the store at the next start.
#ifndef ZAV_SCS_AGENT_ID_STORE_H
#define ZAV_SCS_AGENT_ID_STORE_H

#include <cstdint>
#include <mutex>
#include <string>

#include "LocalSettings.h"
#include "TraceLog.h"

namespace zavscs {

class CAgentIdStore {
public:
    // Adopts the [agent] keys of a destination's local settings for what is not set yet: the agent
    // id file first (its ids are newer than any seed), then the agent_id seed.
    void Configure(const CLocalSettings& local, const CTraceLog& log);
    // The current id, else the last good id, else SCS_E_NO_AGENT_ID.
    uint32_t Get(std::string& strAgentId) const;
    // 0, SCS_E_INVALID_ARG (a control character), or SCS_E_WRITE_FAILED (the id is kept in memory
    // but could not be written to the agent id file). An empty id clears the value.
    uint32_t Set(const std::string& strAgentId);
    uint32_t SetLastGood(const std::string& strAgentId);
    void Clear();

private:
    uint32_t Store(std::string& strField, const std::string& strAgentId);

    mutable std::mutex m_mutex;
    std::string m_strAgentId;
    std::string m_strLastGood;
    std::string m_strFile;
};

}  // namespace zavscs

#endif
