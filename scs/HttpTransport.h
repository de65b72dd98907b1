// HTTP(S) requests with libcurl: one easy handle per request at a time, so any number of threads
// can post at once; posts of a destination keep their connections alive in a pool of idle handles.
// The DNS cache and TLS sessions are shared between all handles, so a new connection resumes the
// session of an earlier one. AbortAll stops every transfer in progress at its next progress check
// (libcurl checks at least once a second, more often while data flows) and closes the idle
// connections.
#ifndef ZAV_SCS_HTTP_TRANSPORT_H
#define ZAV_SCS_HTTP_TRANSPORT_H

#include <curl/curl.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "CommSettings.h"
#include "ConnectionPool.h"

namespace zavscs {

struct SHttpRequest {
    int32_t iDestinationId = 0;  // 0: no connection is kept for later requests
    std::string strServer;       // the server's URL from the list, for the pool
    std::string strUrl;
    bool bProbe = false;  // HEAD, for a reachability test; otherwise POST
    std::string strContentType;
    const char* pData = nullptr;
    size_t uLength = 0;
    std::string strLanguage;  // Accept-Language, when not empty
    std::string strUserAgent;
    uint32_t uConnectTimeout = 0;   // ms
    uint32_t uTransferTimeout = 0;  // ms, 0: no limit
    uint32_t uDnsCacheTimeout = 0;  // ms, 0: libcurl's default
    STransportOptions options;
};

struct SHttpResult {
    uint32_t uStatus = 0;  // 0 for a 2xx answer (any answer for a probe), else an SCS_ status
    long lHttpStatus = 0;
    std::string strBody;
    std::string strError;  // what went wrong, for the trace log
};

class CHttpTransport {
public:
    CHttpTransport();
    ~CHttpTransport();
    CHttpTransport(const CHttpTransport&) = delete;
    CHttpTransport& operator=(const CHttpTransport&) = delete;

    // Taken when a request is accepted; a request runs only while the generation is unchanged.
    uint64_t Generation() const { return m_uGeneration.load(); }
    void AbortAll() {
        ++m_uGeneration;
        m_pool.Clear();
    }
    // For a destination whose settings changed or that is gone.
    void DropConnections(int32_t iDestinationId) { m_pool.Drop(iDestinationId); }

    SHttpResult Perform(const SHttpRequest& request, uint64_t uGeneration);

private:
    // The request on the handle, set up anew for it.
    SHttpResult Transfer(CURL* pHandle, const SHttpRequest& request, uint64_t uGeneration);
    static void LockShare(CURL*, curl_lock_data data, curl_lock_access, void* pUser);
    static void UnlockShare(CURL*, curl_lock_data data, void* pUser);

    std::atomic<uint64_t> m_uGeneration{0};
    CURLSH* m_pShare = nullptr;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> m_shareLocks;
    CConnectionPool m_pool{m_uGeneration};
};

}  // namespace zavscs

#endif
