// Destinations (local settings + comm settings + language) and listeners (local settings + listener
// settings), and the id tables that hold them. Settings are immutable snapshots swapped under a
// short lock, so a post or a lookup keeps working on the snapshot it took while a reload runs.
#ifndef ZAV_SCS_DESTINATIONS_H
#define ZAV_SCS_DESTINATIONS_H

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CommSettings.h"
#include "LocalSettings.h"

namespace zavscs {

template <class T>
class CSnapshot {
public:
    explicit CSnapshot(std::shared_ptr<const T> p) : m_p(std::move(p)) {}
    std::shared_ptr<const T> Get() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_p;
    }
    void Set(std::shared_ptr<const T> p) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_p.swap(p);
    }
    // Copy, change and swap in one step, so concurrent edits are not lost. The change returns 0
    // to keep its result, else a status that leaves the snapshot as it was.
    uint32_t Update(const std::function<uint32_t(T&)>& change) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto pCopy = std::make_shared<T>(*m_p);
        const uint32_t uStatus = change(*pCopy);
        if (uStatus == 0) {
            m_p = std::move(pCopy);
        }
        return uStatus;
    }

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<const T> m_p;
};

class CDestination {
public:
    CDestination(std::shared_ptr<const CLocalSettings> pLocal,
                 std::shared_ptr<const CCommSettings> pComm)
        : m_local(std::move(pLocal)), m_comm(std::move(pComm)) {}

    CSnapshot<CLocalSettings>& Local() { return m_local; }
    CSnapshot<CCommSettings>& Comm() { return m_comm; }
    std::string Language() const;
    void SetLanguage(std::string strLanguage);

private:
    CSnapshot<CLocalSettings> m_local;
    CSnapshot<CCommSettings> m_comm;
    mutable std::mutex m_mutex;
    std::string m_strLanguage;
};

class CListener {
public:
    CListener(std::shared_ptr<const CLocalSettings> pLocal,
              std::shared_ptr<const CLocalSettings> pSettings)
        : m_local(std::move(pLocal)), m_settings(std::move(pSettings)) {}

    CSnapshot<CLocalSettings>& Local() { return m_local; }

private:
    CSnapshot<CLocalSettings> m_local;
    // Kept for a server side, which this component does not run.
    CSnapshot<CLocalSettings> m_settings;
};

// Ids start at 1 and are never handed out twice in the life of the process, so a stale id does
// not reach an object added later. Not locked: the owner locks.
template <class T>
class CIdTable {
public:
    int32_t Add(std::shared_ptr<T> pItem) {
        while (m_items.count(m_iNextId) != 0) {
            Advance();
        }
        const int32_t iId = m_iNextId;
        m_items.emplace(iId, std::move(pItem));
        Advance();
        return iId;
    }
    std::shared_ptr<T> Find(int32_t iId) const {
        const auto it = m_items.find(iId);
        return it == m_items.end() ? nullptr : it->second;
    }
    bool Remove(int32_t iId) { return m_items.erase(iId) != 0; }
    void Clear() { m_items.clear(); }
    std::vector<int32_t> Ids() const {
        std::vector<int32_t> ids;
        for (const auto& item : m_items) {
            ids.push_back(item.first);
        }
        return ids;
    }
    std::vector<std::pair<int32_t, std::shared_ptr<T>>> Items() const {
        return {m_items.begin(), m_items.end()};
    }

private:
    void Advance() { m_iNextId = m_iNextId == INT32_MAX ? 1 : m_iNextId + 1; }

    std::map<int32_t, std::shared_ptr<T>> m_items;
    int32_t m_iNextId = 1;
};

}  // namespace zavscs

#endif
