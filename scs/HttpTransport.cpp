#include "HttpTransport.h"

#include <memory>
#include <new>
#include <stdexcept>

#include "ScsStatus.h"

namespace zavscs {

namespace {

struct STransfer {
    const std::atomic<uint64_t>* pGeneration;
    uint64_t uGeneration;
    std::string* pBody;
    CURL* pHandle;
    size_t uMaxResponse;  // larger answers are refused rather than exhausting memory
    bool bTooLarge;
    bool bNoMemory;
    bool bSized;
};

size_t OnWrite(char* pData, size_t uSize, size_t uCount, void* pUser) {
    auto* pTransfer = static_cast<STransfer*>(pUser);
    const size_t uBytes = uSize * uCount;
    if (pTransfer->pBody->size() + uBytes > pTransfer->uMaxResponse) {
        pTransfer->bTooLarge = true;
        return 0;
    }
    try {
        if (!pTransfer->bSized) {
            // Sized once from the announced length: no doubling, no spare room held later.
            pTransfer->bSized = true;
            curl_off_t length = -1;
            if (curl_easy_getinfo(pTransfer->pHandle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T,
                                  &length) == CURLE_OK &&
                length > 0 && static_cast<uint64_t>(length) <= pTransfer->uMaxResponse) {
                pTransfer->pBody->reserve(static_cast<size_t>(length));
            }
        }
        pTransfer->pBody->append(pData, uBytes);
    } catch (...) {
        pTransfer->bNoMemory = true;
        return 0;
    }
    return uBytes;
}

int OnProgress(void* pUser, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* pTransfer = static_cast<const STransfer*>(pUser);
    return pTransfer->pGeneration->load() != pTransfer->uGeneration ? 1 : 0;
}

uint32_t StatusOfCurlCode(CURLcode code) {
    switch (code) {
        case CURLE_OK:
            return 0;
        case CURLE_COULDNT_CONNECT:
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return SCS_E_CONNECT;
        case CURLE_OPERATION_TIMEDOUT:
            return SCS_E_TIMEOUT;
        case CURLE_ABORTED_BY_CALLBACK:
            return SCS_E_NOT_INITIALIZED;  // the component was shut down meanwhile
        default:
            return SCS_E_TRANSPORT;
    }
}

struct SListDeleter {
    void operator()(curl_slist* p) const { curl_slist_free_all(p); }
};
using HeaderList = std::unique_ptr<curl_slist, SListDeleter>;

void AddHeader(HeaderList& headers, const std::string& strLine) {
    curl_slist* pList = curl_slist_append(headers.get(), strLine.c_str());
    if (pList == nullptr) {
        throw std::bad_alloc();
    }
    // The old head, if any, is part of pList now: it changes owner, it is not lost.
    static_cast<void>(headers.release());
    headers.reset(pList);
}

// Applies options in order and keeps the first failure.
class COptionSetter {
public:
    explicit COptionSetter(CURL* pHandle) : m_pHandle(pHandle) {}
    template <class T>
    COptionSetter& operator()(CURLoption option, T value) {
        if (m_code == CURLE_OK) {
            m_code = curl_easy_setopt(m_pHandle, option, value);
        }
        return *this;
    }
    CURLcode Code() const { return m_code; }

private:
    CURL* m_pHandle;
    CURLcode m_code = CURLE_OK;
};

// A kept-alive connection serves only posts of the same destination, server and connection options.
std::string PoolKey(const SHttpRequest& request) {
    const STransportOptions& options = request.options;
    return std::to_string(request.iDestinationId) + '\n' + request.strServer + '\n' +
           (options.bVerifyPeer ? '1' : '0') + (options.bVerifyHost ? '1' : '0') + '\n' +
           options.strCaFile + '\n' + options.strCaPath + '\n' + options.strProxy;
}

bool HasOpenConnection(CURL* pHandle) {
    curl_socket_t socket = CURL_SOCKET_BAD;
    return curl_easy_getinfo(pHandle, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK &&
           socket != CURL_SOCKET_BAD;
}

}  // namespace

CHttpTransport::CHttpTransport() {
    // Runs once, from the component's single instance; libcurl's global init is thread-safe.
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        throw std::runtime_error("curl_global_init failed");
    }
    m_pShare = curl_share_init();
    if (m_pShare != nullptr) {
        curl_share_setopt(m_pShare, CURLSHOPT_LOCKFUNC, &CHttpTransport::LockShare);
        curl_share_setopt(m_pShare, CURLSHOPT_UNLOCKFUNC, &CHttpTransport::UnlockShare);
        curl_share_setopt(m_pShare, CURLSHOPT_USERDATA, this);
        curl_share_setopt(m_pShare, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        // Connections stay in their own handle (libcurl cannot share them between threads), but
        // a new one resumes a TLS session of any other handle.
        curl_share_setopt(m_pShare, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }
}

CHttpTransport::~CHttpTransport() {
    m_pool.Clear();  // a share in use by a handle cannot be cleaned up
    if (m_pShare != nullptr) {
        curl_share_cleanup(m_pShare);
    }
}

void CHttpTransport::LockShare(CURL*, curl_lock_data data, curl_lock_access, void* pUser) {
    static_cast<CHttpTransport*>(pUser)->m_shareLocks[data].lock();
}

void CHttpTransport::UnlockShare(CURL*, curl_lock_data data, void* pUser) {
    static_cast<CHttpTransport*>(pUser)->m_shareLocks[data].unlock();
}

SHttpResult CHttpTransport::Perform(const SHttpRequest& request, uint64_t uGeneration) {
    const STransportOptions& options = request.options;
    const bool bKeep = options.bKeepAlive && request.iDestinationId != 0 && !request.bProbe;
    const std::string strKey = bKeep ? PoolKey(request) : std::string();
    CConnectionPool::SLease lease;
    if (bKeep) {
        lease = m_pool.Take(strKey);
    }
    if (!lease.handle) {
        lease.handle.reset(curl_easy_init());
        if (!lease.handle) {
            throw std::bad_alloc();
        }
    }
    // A kept-alive connection that the server closed meanwhile is libcurl's to handle: it makes
    // the request again on a new connection when nothing of the answer had arrived.
    SHttpResult result = Transfer(lease.handle.get(), request, uGeneration);
    const bool bOpen = HasOpenConnection(lease.handle.get());
    curl_easy_reset(lease.handle.get());  // an idle handle keeps no pointer into this call
    if (bKeep && bOpen) {
        m_pool.Give(strKey, request.iDestinationId, options.uKeepAliveIdle, std::move(lease),
                    uGeneration);
    }
    return result;
}

SHttpResult CHttpTransport::Transfer(CURL* pHandle, const SHttpRequest& request,
                                     uint64_t uGeneration) {
    SHttpResult result;
    curl_easy_reset(pHandle);
    HeaderList headers;
    if (!request.bProbe) {
        AddHeader(headers, "Content-Type: " + request.strContentType);
        AddHeader(headers, "Expect:");  // no 100-continue round trip before the body
    }
    if (!request.strLanguage.empty()) {
        AddHeader(headers, "Accept-Language: " + request.strLanguage);
    }

    const STransportOptions& options = request.options;
    STransfer transfer{&m_uGeneration,           uGeneration, &result.strBody, pHandle,
                       options.uMaxResponseSize, false,       false,           false};
    char errorText[CURL_ERROR_SIZE] = "";
    COptionSetter set(pHandle);
    set(CURLOPT_URL, request.strUrl.c_str())(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_NOSIGNAL, 1L)(CURLOPT_ERRORBUFFER, errorText);
    set(CURLOPT_HTTPHEADER, headers.get())(CURLOPT_USERAGENT, request.strUserAgent.c_str());
    set(CURLOPT_WRITEFUNCTION, &OnWrite)(CURLOPT_WRITEDATA, &transfer);
    set(CURLOPT_NOPROGRESS, 0L)(CURLOPT_XFERINFOFUNCTION, &OnProgress);
    set(CURLOPT_XFERINFODATA, &transfer);
    set(CURLOPT_PROXY, options.strProxy.c_str());
    set(CURLOPT_SSL_VERIFYPEER, options.bVerifyPeer ? 1L : 0L);
    set(CURLOPT_SSL_VERIFYHOST, options.bVerifyHost ? 2L : 0L);
    if (!options.strCaFile.empty()) {
        set(CURLOPT_CAINFO, options.strCaFile.c_str());
    }
    if (!options.strCaPath.empty()) {
        set(CURLOPT_CAPATH, options.strCaPath.c_str());
    }
    // An announced length over the limit is refused before the body is read.
    set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.uMaxResponseSize));
    if (request.bProbe) {
        set(CURLOPT_NOBODY, 1L);
    } else {
        set(CURLOPT_POST, 1L)(CURLOPT_POSTFIELDS, request.pData != nullptr ? request.pData : "");
        set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.uLength));
    }
    if (request.uConnectTimeout != 0) {
        set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.uConnectTimeout));
    }
    if (request.uTransferTimeout != 0) {
        set(CURLOPT_TIMEOUT_MS, static_cast<long>(request.uTransferTimeout));
    }
    if (request.uDnsCacheTimeout != 0) {
        set(CURLOPT_DNS_CACHE_TIMEOUT, static_cast<long>((request.uDnsCacheTimeout + 999) / 1000));
    }
    if (m_pShare != nullptr) {
        set(CURLOPT_SHARE, m_pShare);
    }
    // libcurl must not reuse a connection older than the pool would keep it either.
    set(CURLOPT_MAXAGE_CONN, static_cast<long>(options.uKeepAliveIdle));

    CURLcode code = set.Code();
    if (code == CURLE_OK) {
        code = curl_easy_perform(pHandle);
    }
    if (code != CURLE_OK) {
        result.uStatus = StatusOfCurlCode(code);
        result.strError = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
        if (transfer.bTooLarge || code == CURLE_FILESIZE_EXCEEDED) {
            result.uStatus = SCS_E_RESPONSE_TOO_LARGE;
            result.strError = "the answer is larger than max_response_size = " +
                              std::to_string(options.uMaxResponseSize) + " bytes";
        } else if (transfer.bNoMemory) {
            result.strError = "out of memory for the answer";
        }
        return result;
    }
    curl_easy_getinfo(pHandle, CURLINFO_RESPONSE_CODE, &result.lHttpStatus);
    if (!request.bProbe && (result.lHttpStatus < 200 || result.lHttpStatus > 299)) {
        result.uStatus = result.lHttpStatus == 503 ? SCS_I_SERVER_BUSY : SCS_E_HTTP_STATUS;
        result.strError = "HTTP status " + std::to_string(result.lHttpStatus);
        curl_header* pRetryAfter = nullptr;
        // Tells whoever reads the trace when the server wants to be asked again.
        if ((result.lHttpStatus == 429 || result.lHttpStatus == 503) &&
            curl_easy_header(pHandle, "Retry-After", 0, CURLH_HEADER, -1, &pRetryAfter) ==
                CURLHE_OK) {
            result.strError += std::string(", Retry-After: ") + pRetryAfter->value;
        }
    }
    return result;
}

}  // namespace zavscs
