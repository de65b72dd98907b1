// zavsign: Ed25519 key pairs and file signatures for libraries the event query library loads.
//
//   zavsign genkey --private key.pem [--public key.pub.pem]
//   zavsign sign --key key.pem [--embed] [--external EXT] FILE...
//   zavsign verify [--public key.pub.pem]... [--external EXT] FILE...
//
// sign embeds a signature unless only --external is given; with both, the external signature
// covers the file with its embedded signature. verify checks as the loader does: against EXT
// when given, otherwise the embedded signature and then FILE.sig; it trusts the keys built into
// the library plus every --public key.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "security/zavSigner.h"
#include "zavToolsLib/zavCatalog.h"
#include "zavToolsLib/zavError.h"
#include "zavToolsLib/zavStatus.h"

namespace {

using namespace zavSecurity;

std::string StatusText(uint32_t status) {
    zavToolsLib::ZAVError error(status);
    return error.GetText(zavToolsLib::ZAV_MAX_LINE_WIDTH);
}

int Fail(const std::string& what, uint32_t status) {
    std::fprintf(stderr, "zavsign: %s: %s\n", what.c_str(), StatusText(status).c_str());
    return 1;
}

int GenerateKey(const std::string& privateFile, const std::string& publicFile) {
    EvpPkeyPtr key = GenerateSigningKey();
    if (key == nullptr) {
        return Fail("generating a key", zavToolsLib::ZAV_E_CRYPTO_INIT);
    }
    uint32_t status = SavePrivateKeyPem(key.get(), privateFile);
    if (status != 0) {
        return Fail(privateFile, status);
    }
    if (!publicFile.empty() && (status = SavePublicKeyPem(key.get(), publicFile)) != 0) {
        return Fail(publicFile, status);
    }
    return 0;
}

int Sign(const std::string& keyFile, bool bEmbed, const std::string& extension,
         const std::vector<std::string>& files) {
    EvpPkeyPtr key;
    uint32_t status = LoadPrivateKeyPem(keyFile, key);
    if (status != 0) {
        return Fail(keyFile, status);
    }
    const bool bEmbedded = bEmbed || extension.empty();
    for (const auto& file : files) {
        status =
            SignFile(key.get(), file, bEmbedded, extension.empty() ? nullptr : extension.c_str());
        if (status != 0) {
            return Fail(file, status);
        }
    }
    return 0;
}

int Verify(const std::vector<std::string>& publicFiles, const std::string& extension,
           const std::vector<std::string>& files) {
    for (const auto& publicFile : publicFiles) {
        EvpPkeyPtr key;
        CPublicKey raw;
        uint32_t status = LoadPublicKeyPem(publicFile, key);
        if (status == 0 && !GetRawPublicKey(key.get(), raw)) {
            status = zavToolsLib::ZAV_E_SIG_MALFORMED;
        }
        if (status == 0) {
            status = AddTrustedKey(raw.data(), raw.size());
        }
        if (status != 0) {
            return Fail(publicFile, status);
        }
    }
    int result = 0;
    for (const auto& file : files) {
        const uint32_t status =
            VerifyFileSignature(file, extension.empty() ? nullptr : extension.c_str());
        if (status != 0) {
            result = Fail(file, status);
        } else {
            std::printf("%s: signature ok\n", file.c_str());
        }
    }
    return result;
}

int Main(int argc, char** argv) {
    CLI::App app{"Ed25519 key pairs and file signatures for loadable libraries"};
    app.require_subcommand(1);

    std::string privateFile, publicFile;
    auto* genkey = app.add_subcommand("genkey", "Write a new Ed25519 key pair as PEM files");
    genkey->add_option("--private", privateFile, "Private key file (owner-only)")->required();
    genkey->add_option("--public", publicFile, "Public key file");

    std::string keyFile, signExtension;
    bool bEmbed = false;
    std::vector<std::string> signFiles;
    auto* sign = app.add_subcommand("sign", "Sign files in place");
    sign->add_option("--key", keyFile, "Private key (PEM)")->required();
    sign->add_flag("--embed", bEmbed, "Append (or replace) the embedded signature");
    sign->add_option("--external", signExtension, "Also write FILE+EXT with the signature");
    sign->add_option("files", signFiles, "Files to sign")->required();

    std::vector<std::string> publicFiles, verifyFiles;
    std::string verifyExtension;
    auto* verify = app.add_subcommand("verify", "Check files as the library's loader does");
    verify->add_option("--public", publicFiles, "Also trust this public key (PEM)");
    verify->add_option("--external", verifyExtension, "Check FILE+EXT only");
    verify->add_option("files", verifyFiles, "Files to check")->required();

    CLI11_PARSE(app, argc, argv);
    zavToolsLib::OpenCatalog(nullptr, zavToolsLib::ZAV_CATALOG_NAME, "");
    if (*genkey) {
        return GenerateKey(privateFile, publicFile);
    }
    if (*sign) {
        return Sign(keyFile, bEmbed, signExtension, signFiles);
    }
    return Verify(publicFiles, verifyExtension, verifyFiles);
}

}  // namespace

// A failure that no code path expects (memory, a CLI11 setup error) ends with a line and status
// 1, not with an abort.
int main(int argc, char** argv) {
    try {
        return Main(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zavsign: %s\n", e.what());
        return 1;
    }
}
