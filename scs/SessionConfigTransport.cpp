// Posts and reachability tests. The component's lock is held only to take the destination and
// the abort generation, never during a transfer.
#include <cstdio>

#include "ScsStatus.h"
#include "SessionConfig.h"

namespace zavscs {

namespace {

constexpr uint32_t DEFAULT_PROBE_TIMEOUT = 30000;  // ms, when no timeout is configured anywhere

std::string JoinUrl(const std::string& strServer, const char* pPath) {
    std::string strUrl = strServer;
    if (pPath != nullptr && *pPath != '\0') {
        if (!strUrl.empty() && strUrl.back() == '/' && *pPath == '/') {
            strUrl.pop_back();
        }
        strUrl += pPath;
    }
    return strUrl;
}

}  // namespace

uint32_t CSessionConfig::PostData(const SPostArgs& args, std::string& strResponse) {
    if ((args.pData == nullptr && args.uLength != 0) || args.pContentType == nullptr ||
        HasLineBreak(args.pContentType)) {
        return SCS_E_INVALID_ARG;
    }
    std::shared_ptr<CDestination> pDestination;
    SHttpRequest request;
    uint64_t uGeneration = 0;
    {
        // The generation is taken with the init check so that a shutdown after it aborts the post.
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_iClientInits == 0) {
            return SCS_E_NOT_INITIALIZED;
        }
        pDestination = m_destinations.Find(args.iDestinationId);
        if (!pDestination) {
            return SCS_E_BAD_DESTINATION;
        }
        uGeneration = m_transport.Generation();
        request.strUserAgent = m_strUserAgent;
    }
    const auto pComm = pDestination->Comm().Get();
    if (args.iServerIndex < 0 ||
        static_cast<size_t>(args.iServerIndex) >= pComm->Servers().size()) {
        return SCS_E_BAD_SERVER_INDEX;
    }
    request.iDestinationId = args.iDestinationId;
    request.strServer = pComm->Servers()[args.iServerIndex];
    request.strUrl = JoinUrl(request.strServer, args.pPath);
    request.strContentType = args.pContentType;
    request.pData = args.pData;
    request.uLength = args.uLength;
    request.strLanguage = pDestination->Language();
    request.options = pComm->Transport();
    const uint32_t* pTimeouts = args.pTimeouts;
    const auto Timeout = [pTimeouts](int iIndex, uint32_t uDefault) {
        return pTimeouts != nullptr && pTimeouts[iIndex] != 0 ? pTimeouts[iIndex] : uDefault;
    };
    request.uConnectTimeout = Timeout(SCS_TIMEOUT_CONNECT, request.options.uConnectTimeout);
    request.uTransferTimeout = Timeout(SCS_TIMEOUT_TRANSFER, request.options.uTransferTimeout);
    request.uDnsCacheTimeout = Timeout(SCS_TIMEOUT_DNS_CACHE, 0);

    SHttpResult result = m_transport.Perform(request, uGeneration);
    if (result.uStatus != 0) {
        char text[32];
        std::snprintf(text, sizeof(text), " (status 0x%08X)",
                      static_cast<unsigned>(result.uStatus));
        m_log.Write(TRACE_ERROR,
                    "POST to '" + request.strUrl + "' failed: " + result.strError + text,
                    "SCS_PostData");
        return result.uStatus;
    }
    strResponse = std::move(result.strBody);
    return 0;
}

uint32_t CSessionConfig::TestCommSettings(uint32_t uValue1, uint32_t uValue2, const char* pSection,
                                          bool bReadFile) {
    std::vector<std::pair<int32_t, std::shared_ptr<CDestination>>> destinations;
    uint64_t uGeneration = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_iClientInits == 0) {
            return SCS_E_NOT_INITIALIZED;
        }
        uGeneration = m_transport.Generation();
        if (uValue1 == 0) {
            destinations = m_destinations.Items();
        } else if (auto pDestination = m_destinations.Find(static_cast<int32_t>(uValue1))) {
            destinations.emplace_back(static_cast<int32_t>(uValue1), std::move(pDestination));
        }
    }
    if (destinations.empty()) {
        return SCS_E_BAD_DESTINATION;
    }
    uint32_t uResult = 0;
    for (const auto& item : destinations) {
        const uint32_t uStatus =
            ProbeDestination(item.first, *item.second, uValue2, pSection, bReadFile, uGeneration);
        if (uStatus == SCS_E_CONNECT) {
            uResult = uStatus;  // the other destinations are still tested and logged
        } else if (uStatus != 0) {
            return uStatus;
        }
    }
    return uResult;
}

uint32_t CSessionConfig::ProbeDestination(int32_t iId, CDestination& destination, uint32_t uTimeout,
                                          const char* pSection, bool bReadFile,
                                          uint64_t uGeneration) {
    const char* const pFunction = "CSessionConfig::TestCommSettings()";
    auto pComm = destination.Comm().Get();
    if (bReadFile) {
        const uint32_t uStatus = ReadComm(pComm->File(), pComm, pFunction);
        if (uStatus != 0) {
            return uStatus;
        }
    }
    if (uTimeout == 0 && pSection != nullptr) {
        const std::string* pValue = destination.Local().Get()->Find(pSection, "connectTimeout");
        if (pValue == nullptr || !ParseUint32(*pValue, uTimeout)) {
            uTimeout = 0;
        }
    }
    if (uTimeout == 0) {
        uTimeout = pComm->Transport().uConnectTimeout;
    }
    if (uTimeout == 0) {
        uTimeout = DEFAULT_PROBE_TIMEOUT;
    }
    SHttpRequest request;
    request.bProbe = true;
    request.options = pComm->Transport();
    request.uConnectTimeout = uTimeout;
    request.uTransferTimeout = uTimeout;
    bool bReachable = false;
    for (const auto& strUrl : pComm->Servers()) {
        request.strUrl = strUrl;
        const SHttpResult result = m_transport.Perform(request, uGeneration);
        if (result.uStatus == SCS_E_NOT_INITIALIZED) {
            return result.uStatus;
        }
        bReachable = bReachable || result.uStatus == 0;
        m_log.Write(
            result.uStatus == 0 ? TRACE_DEBUG : TRACE_WARNING,
            result.uStatus == 0
                ? "Server '" + strUrl + "' answered HTTP " + std::to_string(result.lHttpStatus)
                : "Server '" + strUrl + "' not reachable: " + result.strError,
            pFunction);
    }
    if (!bReachable) {
        m_log.Write(TRACE_ERROR, "No server of destination " + std::to_string(iId) + " answered",
                    pFunction);
        return SCS_E_CONNECT;
    }
    return 0;
}

}  // namespace zavscs
