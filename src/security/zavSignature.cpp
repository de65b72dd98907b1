#include "security/zavSignature.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "../../common/CFileDescriptor.h"
#include "security/zavCryptoToolkit.h"
#include "security/zavTrustedKeys.h"
#include "zavToolsLib/zavStatus.h"

namespace zavSecurity {

using namespace zavToolsLib;
using zavCommon::CFileDescriptor;

namespace {

uint64_t ReadLittleEndian64(const uint8_t* bytes) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

}  // namespace

uint32_t ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, bool& bMissing) {
    bytes.clear();
    bMissing = false;
    CFileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) {
        bMissing = errno == ENOENT || errno == ENOTDIR;
        return ZAV_E_SIG_FILE_UNREADABLE;
    }
    return ReadDescriptorBytes(file.Get(), bytes);
}

uint32_t ReadDescriptorBytes(int fd, std::vector<uint8_t>& bytes) {
    bytes.clear();
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return ZAV_E_SIG_FILE_UNREADABLE;
    }
    try {
        bytes.reserve(static_cast<size_t>(info.st_size));
        uint8_t block[65536];
        for (;;) {
            const ssize_t got = pread(fd, block, sizeof block, static_cast<off_t>(bytes.size()));
            if (got == 0) {
                break;
            }
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                bytes.clear();
                return ZAV_E_SIG_FILE_UNREADABLE;
            }
            bytes.insert(bytes.end(), block, block + got);
        }
    } catch (const std::bad_alloc&) {
        bytes.clear();
        return ZAV_E_SIG_FILE_UNREADABLE;
    }
    return 0;
}

uint32_t ParseEmbeddedSignature(const std::vector<uint8_t>& image, size_t& contentSize,
                                const uint8_t*& signature) {
    const size_t magicSize = sizeof ZAV_SIGNATURE_MAGIC;
    if (image.size() < magicSize ||
        std::memcmp(image.data() + image.size() - magicSize, ZAV_SIGNATURE_MAGIC, magicSize) != 0) {
        return ZAV_E_SIG_MISSING;
    }
    if (image.size() < ZAV_SIGNATURE_TRAILER_SIZE) {
        return ZAV_E_SIG_MALFORMED;
    }
    const uint8_t* trailer = image.data() + image.size() - ZAV_SIGNATURE_TRAILER_SIZE;
    const uint64_t length = ReadLittleEndian64(trailer + ZAV_SIGNATURE_SIZE);
    if (length != image.size() - ZAV_SIGNATURE_TRAILER_SIZE) {
        return ZAV_E_SIG_MALFORMED;
    }
    contentSize = static_cast<size_t>(length);
    signature = trailer;
    return 0;
}

uint32_t VerifySignatureWithKey(const uint8_t* publicKey, const uint8_t* data, size_t size,
                                const uint8_t* signature, size_t signatureSize) {
    if (signature == nullptr || signatureSize != ZAV_SIGNATURE_SIZE) {
        return ZAV_E_SIG_MALFORMED;
    }
    static const uint8_t empty = 0;
    EvpPkeyPtr key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, publicKey, ZAV_PUBLIC_KEY_SIZE));
    EvpMdCtxPtr context(EVP_MD_CTX_new());
    if (key == nullptr || context == nullptr ||
        EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) {
        LogCryptoErrors("zavSecurity::VerifySignatureWithKey()");
        return ZAV_E_CRYPTO_INIT;
    }
    const int result = EVP_DigestVerify(context.get(), signature, signatureSize,
                                        data != nullptr ? data : &empty, size);
    // A rejected signature leaves entries in the error queue that say nothing more.
    ERR_clear_error();
    return result == 1 ? 0 : ZAV_E_SIG_MISMATCH;
}

uint32_t VerifySignature(const uint8_t* data, size_t size, const uint8_t* signature,
                         size_t signatureSize) {
    uint32_t status = ZAV_E_SIG_MISMATCH;
    for (const auto& key : GetTrustedKeys()) {
        status = VerifySignatureWithKey(key.data(), data, size, signature, signatureSize);
        if (status != ZAV_E_SIG_MISMATCH) {
            break;
        }
    }
    return status;
}

uint32_t VerifyEmbeddedSignature(const std::vector<uint8_t>& image) {
    size_t contentSize = 0;
    const uint8_t* signature = nullptr;
    const uint32_t status = ParseEmbeddedSignature(image, contentSize, signature);
    if (status != 0) {
        return status;
    }
    return VerifySignature(image.data(), contentSize, signature, ZAV_SIGNATURE_SIZE);
}

uint32_t VerifyExternalSignature(const std::vector<uint8_t>& image,
                                 const std::string& signatureFile) {
    std::vector<uint8_t> signature;
    bool bMissing = false;
    if (ReadFileBytes(signatureFile, signature, bMissing) != 0) {
        return bMissing ? ZAV_E_SIG_MISSING : ZAV_E_SIG_FILE_UNREADABLE;
    }
    return VerifySignature(image.data(), image.size(), signature.data(), signature.size());
}

uint32_t VerifyFileSignature(const std::string& file, const char* externalExtension) {
    std::vector<uint8_t> image;
    bool bMissing = false;
    const uint32_t status = ReadFileBytes(file, image, bMissing);
    if (status != 0) {
        return status;
    }
    return VerifyImageSignature(image, file, externalExtension);
}

uint32_t VerifyImageSignature(const std::vector<uint8_t>& image, const std::string& file,
                              const char* externalExtension) {
    if (externalExtension != nullptr) {
        return VerifyExternalSignature(image, file + externalExtension);
    }
    const uint32_t status = VerifyEmbeddedSignature(image);
    if (status == 0) {
        return 0;
    }
    const uint32_t external =
        VerifyExternalSignature(image, file + ZAV_DEFAULT_SIGNATURE_EXTENSION);
    return external == ZAV_E_SIG_MISSING ? status : external;
}

}  // namespace zavSecurity
