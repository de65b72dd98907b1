// HTTP(S) requests with libcurl: one easy handle per request, so any number of threads can post at
// once; a DNS cache shared between them. AbortAll stops every transfer in progress at its next
// progress check (libcurl checks at least once a second, more often while data flows).
#ifndef ZAV_SCS_HTTP_TRANSPORT_H
#define ZAV_SCS_HTTP_TRANSPORT_H

#include <curl/curl.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "CommSettings.h"

namespace zavscs {

struct SHttpRequest {
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
    void AbortAll() { ++m_uGeneration; }

    SHttpResult Perform(const SHttpRequest& request, uint64_t uGeneration);

private:
    static void LockShare(CURL*, curl_lock_data data, curl_lock_access, void* pUser);
    static void UnlockShare(CURL*, curl_lock_data data, void* pUser);

    std::atomic<uint64_t> m_uGeneration{0};
    CURLSH* m_pShare = nullptr;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> m_shareLocks;
};

}  // namespace zavscs

#endif
