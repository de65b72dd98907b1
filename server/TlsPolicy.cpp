#include "TlsPolicy.h"

#include <openssl/err.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace eqsrv {

namespace {

// TLS 1.2: ECDHE only (forward secrecy), AEAD only (no CBC, no SHA-1 MAC); the strongest first.
constexpr char kTls12Ciphers[] =
    "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
    "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305:"
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256";
// TLS 1.3 suites are all AEAD with ephemeral keys; these are OpenSSL's defaults, named so that
// a changed system configuration cannot add others.
constexpr char kTls13Suites[] =
    "TLS_AES_256_GCM_SHA384:TLS_CHACHA20_POLY1305_SHA256:TLS_AES_128_GCM_SHA256";

std::string OpenSslError(const std::string& what) {
    std::string text = what;
    char buffer[256];
    while (const unsigned long code = ERR_get_error()) {
        ERR_error_string_n(code, buffer, sizeof(buffer));
        text += std::string(": ") + buffer;
    }
    return text;
}

}  // namespace

std::string KeyFileProblem(const std::string& keyFile) {
    struct stat info {};
    if (stat(keyFile.c_str(), &info) != 0) {
        return "cannot read key file " + keyFile + ": " + std::generic_category().message(errno);
    }
    if ((info.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof(mode), "%04o", static_cast<unsigned>(info.st_mode & 07777));
        return "key file " + keyFile + " has mode " + mode +
               ": a private key must not be readable by group or others; run chmod 600 " + keyFile;
    }
    return "";
}

bool SetUpTls(SSL_CTX& ctx, const std::string& certFile, const std::string& keyFile,
              std::string& error) noexcept {
    try {
        ERR_clear_error();
        if (SSL_CTX_set_min_proto_version(&ctx, TLS1_2_VERSION) != 1 ||
            SSL_CTX_set_max_proto_version(&ctx, TLS1_3_VERSION) != 1 ||
            SSL_CTX_set_cipher_list(&ctx, kTls12Ciphers) != 1 ||
            SSL_CTX_set_ciphersuites(&ctx, kTls13Suites) != 1 ||
            SSL_CTX_set1_groups_list(&ctx, "X25519:P-256:P-384") != 1) {
            error = OpenSslError("cannot set the TLS policy");
            return false;
        }
        // The server's order decides, so a client offering a weaker suite first still gets the
        // strongest both have. Renegotiation and compression serve no client of ours.
        SSL_CTX_set_options(&ctx, SSL_OP_CIPHER_SERVER_PREFERENCE | SSL_OP_NO_RENEGOTIATION |
                                      SSL_OP_NO_COMPRESSION);
        if (SSL_CTX_use_certificate_chain_file(&ctx, certFile.c_str()) != 1) {
            error = OpenSslError("cannot load certificate " + certFile);
            return false;
        }
        if (SSL_CTX_use_PrivateKey_file(&ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_check_private_key(&ctx) != 1) {
            error = OpenSslError("cannot load key " + keyFile + " for certificate " + certFile);
            return false;
        }
        return true;
    } catch (const std::exception&) {
        // Only the texts can throw (out of memory): the context is unusable all the same.
        return false;
    }
}

}  // namespace eqsrv
