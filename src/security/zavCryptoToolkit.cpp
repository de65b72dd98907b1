#include "security/zavCryptoToolkit.h"

#include <openssl/crypto.h>
#include <openssl/err.h>

#include <atomic>
#include <cstdio>
#include <mutex>

#include "security/zavTrustedKeys.h"
#include "zavToolsLib/zavStatus.h"
#include "zavToolsLib/zavTraceLog.h"

namespace zavSecurity {

namespace {

std::atomic<const asTraceLog*> g_pCryptoTraceLog{nullptr};

bool StartLibCrypto() {
    return OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr) == 1;
}

bool StartSignatureAlgorithm() {
    EvpPkeyCtxPtr context(EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr));
    return context != nullptr;
}

bool StartTrustedKeys() {
    const auto keys = GetTrustedKeys();
    if (keys.empty()) {
        return false;
    }
    for (const auto& key : keys) {
        EvpPkeyPtr parsed(
            EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()));
        if (parsed == nullptr) {
            return false;
        }
    }
    return true;
}

struct CComponentSet {
    const char* name;
    bool (*start)();
    bool bStarted;
};

std::mutex g_startMutex;
CComponentSet g_componentSets[] = {
    {"crypto", StartLibCrypto, false},
    {"signature", StartSignatureAlgorithm, false},
    {"trusted keys", StartTrustedKeys, false},
};

}  // namespace

void SetCryptoToolkitTraceLog(const asTraceLog* log) { g_pCryptoTraceLog.store(log); }

const asTraceLog* GetCryptoToolkitTraceLog() { return g_pCryptoTraceLog.load(); }

uint32_t StartCryptoToolkit(const asTraceLog* log, const char* function) {
    std::lock_guard<std::mutex> guard(g_startMutex);
    for (auto& set : g_componentSets) {
        if (set.bStarted) {
            continue;
        }
        char line[160];
        if (!set.start()) {
            LogCryptoErrors(function);
            std::snprintf(line, sizeof line,
                          "Loading cryptographic toolkit component set '%s' failed: 0x%8.8x",
                          set.name, zavToolsLib::ZAV_E_CRYPTO_INIT);
            zavToolsLib::Log(log, 1, line, function);
            return zavToolsLib::ZAV_E_CRYPTO_INIT;
        }
        set.bStarted = true;
        std::snprintf(line, sizeof line, "Cryptographic toolkit component set '%s' loaded",
                      set.name);
        zavToolsLib::Log(log, 8, line, function);
    }
    return 0;
}

void LogCryptoErrors(const char* function) {
    const asTraceLog* log = g_pCryptoTraceLog.load();
    unsigned long error;
    while ((error = ERR_get_error()) != 0) {
        if (zavToolsLib::LogEnabled(log, 1)) {
            char text[256];
            ERR_error_string_n(error, text, sizeof text);
            zavToolsLib::Log(log, 1, text, function);
        }
    }
}

}  // namespace zavSecurity
