// Start-up of the cryptographic toolkit (OpenSSL libcrypto) that file signatures are checked with,
// and owning wrappers for its objects.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <memory>

#include "zavEventQuerySvcs.h"

namespace zavSecurity {

struct CEvpPkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CEvpPkeyCtxFree {
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
struct CEvpMdCtxFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, CEvpPkeyFree>;
using EvpPkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, CEvpPkeyCtxFree>;
using EvpMdCtxPtr = std::unique_ptr<EVP_MD_CTX, CEvpMdCtxFree>;

// Trace log of the toolkit's own messages (OpenSSL error details); null writes nothing.
void SetCryptoToolkitTraceLog(const asTraceLog* log);
const asTraceLog* GetCryptoToolkitTraceLog();

// Brings up the toolkit's three component sets, in this order, once per process:
//   "crypto"       libcrypto itself (OPENSSL_init_crypto),
//   "signature"    the Ed25519 signature algorithm,
//   "trusted keys" the built-in public keys, each of which must be a valid Ed25519 key.
// A set that came up is logged once at level 8 and never repeated; a set that failed is logged at
// level 1 with its status and tried again by the next call. Lines go to log under function.
// Returns 0 or ZAV_E_CRYPTO_INIT. Safe to call from several threads.
uint32_t StartCryptoToolkit(const asTraceLog* log, const char* function);

// Logs the queued OpenSSL errors (level 1) to the toolkit's trace log and clears the queue.
void LogCryptoErrors(const char* function);

}  // namespace zavSecurity
