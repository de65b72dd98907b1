// Making signatures in the format zavSignature checks: key pairs, embedded trailers and external
// signature files. Used by the signing tool and by tests; never called by the loader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "security/zavCryptoToolkit.h"
#include "security/zavSignature.h"
#include "security/zavTrustedKeys.h"

namespace zavSecurity {

// A new Ed25519 key pair; null when the toolkit cannot make one.
EvpPkeyPtr GenerateSigningKey();

// PEM files. The private key is written readable by its owner only. Return 0, or
// ZAV_E_SIG_FILE_UNREADABLE when a file cannot be read or written, ZAV_E_SIG_MALFORMED when it
// holds no Ed25519 key.
uint32_t LoadPrivateKeyPem(const std::string& path, EvpPkeyPtr& key);
uint32_t LoadPublicKeyPem(const std::string& path, EvpPkeyPtr& key);
uint32_t SavePrivateKeyPem(EVP_PKEY* key, const std::string& path);
uint32_t SavePublicKeyPem(EVP_PKEY* key, const std::string& path);

// The 32 raw bytes of the key's public half; false when key is not an Ed25519 key.
bool GetRawPublicKey(EVP_PKEY* key, CPublicKey& raw);

// Signs data; signature receives 64 bytes. Returns 0 or ZAV_E_CRYPTO_INIT.
uint32_t SignBuffer(EVP_PKEY* key, const uint8_t* data, size_t size,
                    std::vector<uint8_t>& signature);

// Replaces image's trailer (when it has a well-formed one) by a new one signing the rest.
uint32_t EmbedSignature(EVP_PKEY* key, std::vector<uint8_t>& image);

// Writes bytes to path through a temporary file in the same directory, keeping path's mode when
// it exists. Returns 0 or ZAV_E_SIG_FILE_UNREADABLE.
uint32_t WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Signs file in place: with bEmbed it gets a (new) trailer; with externalExtension (not null)
// file + externalExtension receives the signature over the file as it then stands.
uint32_t SignFile(EVP_PKEY* key, const std::string& file, bool bEmbed,
                  const char* externalExtension);

}  // namespace zavSecurity
