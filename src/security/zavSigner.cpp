#include "security/zavSigner.h"

#include <openssl/pem.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "zavToolsLib/zavStatus.h"

namespace zavSecurity {

using namespace zavToolsLib;

namespace {

struct CFileClose {
    void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, CFileClose>;

bool IsEd25519(EVP_PKEY* key) { return key != nullptr && EVP_PKEY_id(key) == EVP_PKEY_ED25519; }

uint32_t LoadKeyPem(const std::string& path, EvpPkeyPtr& key, bool bPrivate) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (file == nullptr) {
        return ZAV_E_SIG_FILE_UNREADABLE;
    }
    EvpPkeyPtr loaded(bPrivate ? PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr)
                               : PEM_read_PUBKEY(file.get(), nullptr, nullptr, nullptr));
    if (!IsEd25519(loaded.get())) {
        LogCryptoErrors("zavSecurity::LoadKeyPem()");
        return ZAV_E_SIG_MALFORMED;
    }
    key = std::move(loaded);
    return 0;
}

uint32_t SaveKeyPem(EVP_PKEY* key, const std::string& path, bool bPrivate) {
    if (!IsEd25519(key)) {
        return ZAV_E_INVALID_ARG;
    }
    // The private key must never be readable by others, not even for a moment.
    const mode_t previous = umask(bPrivate ? 077 : 022);
    FilePtr file(std::fopen(path.c_str(), "wb"));
    umask(previous);
    if (file == nullptr) {
        return ZAV_E_SIG_FILE_UNREADABLE;
    }
    const int written =
        bPrivate ? PEM_write_PrivateKey(file.get(), key, nullptr, nullptr, 0, nullptr, nullptr)
                 : PEM_write_PUBKEY(file.get(), key);
    if (written != 1 || std::fflush(file.get()) != 0) {
        return ZAV_E_SIG_FILE_UNREADABLE;
    }
    return 0;
}

}  // namespace

EvpPkeyPtr GenerateSigningKey() {
    EvpPkeyCtxPtr context(EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr));
    EVP_PKEY* key = nullptr;
    if (context == nullptr || EVP_PKEY_keygen_init(context.get()) != 1 ||
        EVP_PKEY_keygen(context.get(), &key) != 1) {
        LogCryptoErrors("zavSecurity::GenerateSigningKey()");
        return nullptr;
    }
    return EvpPkeyPtr(key);
}

uint32_t LoadPrivateKeyPem(const std::string& path, EvpPkeyPtr& key) {
    return LoadKeyPem(path, key, true);
}

uint32_t LoadPublicKeyPem(const std::string& path, EvpPkeyPtr& key) {
    return LoadKeyPem(path, key, false);
}

uint32_t SavePrivateKeyPem(EVP_PKEY* key, const std::string& path) {
    return SaveKeyPem(key, path, true);
}

uint32_t SavePublicKeyPem(EVP_PKEY* key, const std::string& path) {
    return SaveKeyPem(key, path, false);
}

bool GetRawPublicKey(EVP_PKEY* key, CPublicKey& raw) {
    size_t size = raw.size();
    return IsEd25519(key) && EVP_PKEY_get_raw_public_key(key, raw.data(), &size) == 1 &&
           size == raw.size();
}

uint32_t SignBuffer(EVP_PKEY* key, const uint8_t* data, size_t size,
                    std::vector<uint8_t>& signature) {
    static const uint8_t empty = 0;
    EvpMdCtxPtr context(EVP_MD_CTX_new());
    signature.assign(ZAV_SIGNATURE_SIZE, 0);
    size_t signatureSize = signature.size();
    if (!IsEd25519(key) || context == nullptr ||
        EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key) != 1 ||
        EVP_DigestSign(context.get(), signature.data(), &signatureSize,
                       data != nullptr ? data : &empty, size) != 1 ||
        signatureSize != ZAV_SIGNATURE_SIZE) {
        LogCryptoErrors("zavSecurity::SignBuffer()");
        signature.clear();
        return ZAV_E_CRYPTO_INIT;
    }
    return 0;
}

uint32_t EmbedSignature(EVP_PKEY* key, std::vector<uint8_t>& image) {
    size_t contentSize = 0;
    const uint8_t* oldSignature = nullptr;
    if (ParseEmbeddedSignature(image, contentSize, oldSignature) == 0) {
        image.resize(contentSize);
    }
    std::vector<uint8_t> signature;
    const uint32_t status = SignBuffer(key, image.data(), image.size(), signature);
    if (status != 0) {
        return status;
    }
    uint64_t length = image.size();
    image.insert(image.end(), signature.begin(), signature.end());
    for (int i = 0; i < 8; ++i, length >>= 8) {
        image.push_back(static_cast<uint8_t>(length & 0xFF));
    }
    image.insert(image.end(), ZAV_SIGNATURE_MAGIC,
                 ZAV_SIGNATURE_MAGIC + sizeof ZAV_SIGNATURE_MAGIC);
    return 0;
}

uint32_t WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    struct stat info;
    const bool bExists = stat(path.c_str(), &info) == 0;
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        return ZAV_E_SIG_FILE_UNREADABLE;
    }
    FilePtr file(fdopen(fd, "wb"));
    if (file == nullptr) {
        close(fd);
        unlink(temporary.c_str());
        return ZAV_E_SIG_FILE_UNREADABLE;
    }
    bool bOk = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size() &&
               std::fflush(file.get()) == 0 &&
               fchmod(fd, bExists ? (info.st_mode & 07777) : 0644) == 0;
    file.reset();
    bOk = bOk && rename(temporary.c_str(), path.c_str()) == 0;
    if (!bOk) {
        unlink(temporary.c_str());
        return ZAV_E_SIG_FILE_UNREADABLE;
    }
    return 0;
}

uint32_t SignFile(EVP_PKEY* key, const std::string& file, bool bEmbed,
                  const char* externalExtension) {
    std::vector<uint8_t> image;
    bool bMissing = false;
    uint32_t status = ReadFileBytes(file, image, bMissing);
    if (status == 0 && bEmbed) {
        status = EmbedSignature(key, image);
        if (status == 0) {
            status = WriteFileBytes(file, image);
        }
    }
    if (status == 0 && externalExtension != nullptr) {
        std::vector<uint8_t> signature;
        status = SignBuffer(key, image.data(), image.size(), signature);
        if (status == 0) {
            status = WriteFileBytes(file + externalExtension, signature);
        }
    }
    return status;
}

}  // namespace zavSecurity
