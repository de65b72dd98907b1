// File signatures: Ed25519 over the file's bytes, checked against the trusted keys.
//
// Embedded signature: the signed bytes followed by an 80-byte trailer
//     64 bytes   Ed25519 signature over the bytes before the trailer
//      8 bytes   length of those bytes, unsigned little-endian
//      8 bytes   "ZAVSIG01"
// An ELF shared object keeps loading with the trailer appended: the loader only maps what its
// program headers describe.
// External signature: a file holding exactly the 64 signature bytes over the whole file as it
// stands (trailer included when there is one); `openssl pkeyutl -sign -rawin` writes the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zavSecurity {

constexpr size_t ZAV_SIGNATURE_SIZE = 64;
constexpr size_t ZAV_SIGNATURE_TRAILER_SIZE = 80;
constexpr char ZAV_SIGNATURE_MAGIC[8] = {'Z', 'A', 'V', 'S', 'I', 'G', '0', '1'};
// External signature tried when a file's own signature fails and no extension was chosen.
constexpr const char* ZAV_DEFAULT_SIGNATURE_EXTENSION = ".sig";

// Reads a whole regular file. Returns 0, or ZAV_E_SIG_FILE_UNREADABLE with bMissing telling
// whether the file does not exist at all.
uint32_t ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, bool& bMissing);
// The same from a descriptor already open on the file, from its first byte whatever the
// descriptor's offset. 0 or ZAV_E_SIG_FILE_UNREADABLE (not a regular file, read error).
uint32_t ReadDescriptorBytes(int fd, std::vector<uint8_t>& bytes);

// Finds the trailer at the end of image: 0 with the size of the signed bytes and the signature;
// ZAV_E_SIG_MISSING without a trailer; ZAV_E_SIG_MALFORMED when its length does not match.
uint32_t ParseEmbeddedSignature(const std::vector<uint8_t>& image, size_t& contentSize,
                                const uint8_t*& signature);

// Checks signature over data with one raw Ed25519 public key (32 bytes), or with every trusted
// key. Returns 0, ZAV_E_SIG_MALFORMED (signature not 64 bytes), ZAV_E_SIG_MISMATCH or
// ZAV_E_CRYPTO_INIT.
uint32_t VerifySignatureWithKey(const uint8_t* publicKey, const uint8_t* data, size_t size,
                                const uint8_t* signature, size_t signatureSize);
uint32_t VerifySignature(const uint8_t* data, size_t size, const uint8_t* signature,
                         size_t signatureSize);

// The image's own trailer.
uint32_t VerifyEmbeddedSignature(const std::vector<uint8_t>& image);

// The signature in signatureFile over the whole image; ZAV_E_SIG_MISSING when that file does
// not exist, ZAV_E_SIG_FILE_UNREADABLE when it cannot be read.
uint32_t VerifyExternalSignature(const std::vector<uint8_t>& image,
                                 const std::string& signatureFile);

// What the service loader checks before it opens a library. With externalExtension (not null),
// only file + externalExtension counts. Without it, the file's own signature, and when that fails
// file + ".sig"; when that does not exist either, the status of the file's own signature.
// ZAV_E_SIG_FILE_UNREADABLE when file itself cannot be read.
uint32_t VerifyFileSignature(const std::string& file, const char* externalExtension);
// The same checks over bytes already read (the loader reads them from the descriptor it then
// hands to the dynamic linker); file names the external signature files.
uint32_t VerifyImageSignature(const std::vector<uint8_t>& image, const std::string& file,
                              const char* externalExtension);

}  // namespace zavSecurity
