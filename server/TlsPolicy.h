// eq-server's TLS: what it offers (TLS 1.2 and 1.3, forward-secret AEAD suites only, in its own
// order) and what it asks of the key file.
#pragma once

#include <openssl/ssl.h>

#include <string>

namespace eqsrv {

// A text saying what is wrong with the private key file (missing, or readable by group or
// others, with the fix); "" when it may be used.
std::string KeyFileProblem(const std::string& keyFile);

// Sets the protocol versions, suites and options on ctx and loads the certificate chain and key.
// Returns false with error set when one cannot be used. Never throws.
bool SetUpTls(SSL_CTX& ctx, const std::string& certFile, const std::string& keyFile,
              std::string& error) noexcept;

}  // namespace eqsrv
