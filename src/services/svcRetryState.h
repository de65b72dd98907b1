// svcRetryState: after each attempt of a service's dispatch thread, decides how long to wait
// before the next one and which server of the destination to use. Waits grow from the retry
// interval up to the ceiling; a server is tried a set number of times before the next one, the
// list is looped or the request is given up, and the primary comes back after a while.
//
// The owner serialises GetState, SetDataPending, NextState and Reload with its instance lock;
// the object has no lock of its own.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

class CBaseServices;

class svcRetryState {
public:
    // m_uWait value meaning idle: the dispatch thread waits for its event.
    static constexpr uint32_t kWaitIdle = 0xFFFFFFFFu;

    // Accepted ranges of the settings (documented in scs/README.md). A shorter wait than the
    // floor turns a refused connection into a busy loop; the longest one stays far below
    // kWaitIdle.
    static constexpr uint32_t kMinRetryWait = 100;              // ms
    static constexpr uint32_t kMaxRetryWait = 86400000;         // ms, one day
    static constexpr uint32_t kMaxServerRetryLimit = 1000;      // attempts
    static constexpr uint32_t kMaxRetryPrimaryServer = 604800;  // s, one week

    // Source of the current time in seconds; replaceable so that tests control the clock.
    using ClockFunction = time_t (*)();

    svcRetryState();
    virtual ~svcRetryState();

    svcRetryState(const svcRetryState&) = delete;
    svcRetryState& operator=(const svcRetryState&) = delete;

    // Stores the service type and owner, picks the settings section, then Reload () and
    // Reset (). Returns the status of Reload.
    virtual uint32_t Init(const std::string& serviceType, CBaseServices* services);
    virtual const std::string& GetServiceName() const;
    // Reload (the owner's destination id).
    virtual uint32_t Reload();
    // Reads the five settings and the server count of the destination.
    virtual uint32_t Reload(int32_t destinationId);
    virtual void GetState(uint32_t& wait, int32_t& serverIndex) const;
    // Feeds the result of an attempt (0 for the first call) and returns the next wait and
    // server index. Never fails.
    virtual void NextState(uint32_t result, uint32_t& wait, int32_t& serverIndex);
    virtual void Reset();
    virtual void SetServer(uint32_t wait, int32_t serverIndex);
    virtual bool IsDataPending() const;
    virtual void SetDataPending(bool pending);

    void SetClock(ClockFunction clock) { m_pfnClock = clock != nullptr ? clock : &time_now; }

protected:
    static time_t time_now() { return time(nullptr); }
    uint32_t Now() const { return static_cast<uint32_t>(m_pfnClock()); }
    // The owner's destination id, -1 without an owner.
    int32_t DestinationId() const;
    // Log at debug or warning level with the owner's trace log.
    void LogDebug(const std::string& message, const char* function) const;
    void LogWarning(const std::string& message, const char* function) const;
    bool DebugEnabled() const;

    std::string m_strServiceName;
    CBaseServices* m_pServices = nullptr;
    std::string m_strSection;
    uint32_t m_uRetryInterval = 60000;
    uint32_t m_uRetryCeiling = 1800000;
    uint32_t m_uMaxServerRetry = 5;
    uint32_t m_uRetryPrimaryServer = 7200;
    bool m_bRetryServerLoop = true;
    uint32_t m_uWait = kWaitIdle;
    int32_t m_iServerIndex = -1;
    uint32_t m_uServerCount = 0;
    uint32_t m_uAttempts = 0;
    uint32_t m_tPrimaryLeft = 0;
    bool m_bDataPending = false;
    ClockFunction m_pfnClock = &time_now;
};
