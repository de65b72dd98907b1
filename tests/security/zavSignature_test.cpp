#include "security/zavSignature.h"

#include <gtest/gtest.h>

#include "security/SignatureTestSupport.h"
#include "security/zavCryptoToolkit.h"
#include "zavToolsLib/zavStatus.h"

namespace {

using namespace zavSecurity;
using namespace zavToolsLib;
using zavTest::CScratchDir;
using zavTest::MakeKey;
using zavTest::ReadBytes;
using zavTest::WriteBytes;

class SignatureTest : public ::testing::Test {
protected:
    void SetUp() override { m_key = MakeKey(true); }
    void TearDown() override { ClearAddedTrustedKeys(); }

    EvpPkeyPtr m_key;
    const std::vector<uint8_t> m_content = std::vector<uint8_t>(1000, 0x5A);
    CScratchDir m_dir;
};

TEST_F(SignatureTest, EmbeddedSignatureCoversEveryByteAndItsTrailer) {
    std::vector<uint8_t> image = m_content, again;
    ASSERT_EQ(EmbedSignature(m_key.get(), image), 0u);
    ASSERT_EQ(image.size(), m_content.size() + ZAV_SIGNATURE_TRAILER_SIZE);
    EXPECT_TRUE(std::equal(m_content.begin(), m_content.end(), image.begin()));
    EXPECT_EQ(VerifyEmbeddedSignature(image), 0u);

    // Signing again replaces the trailer instead of stacking a second one.
    again = image;
    ASSERT_EQ(EmbedSignature(m_key.get(), again), 0u);
    EXPECT_EQ(again.size(), image.size());
    EXPECT_EQ(VerifyEmbeddedSignature(again), 0u);

    // One changed bit anywhere in the content or the signature is a mismatch.
    for (size_t position :
         {size_t{0}, m_content.size() / 2, m_content.size() - 1, m_content.size() + 5}) {
        std::vector<uint8_t> tampered = image;
        tampered[position] ^= 0x01;
        EXPECT_EQ(VerifyEmbeddedSignature(tampered), ZAV_E_SIG_MISMATCH) << "byte " << position;
    }
    // A length that does not describe the file is malformed, and no trailer is missing.
    std::vector<uint8_t> badLength = image;
    badLength[m_content.size() + ZAV_SIGNATURE_SIZE] ^= 0x01;
    EXPECT_EQ(VerifyEmbeddedSignature(badLength), ZAV_E_SIG_MALFORMED);
    EXPECT_EQ(VerifyEmbeddedSignature({image.end() - 10, image.end()}), ZAV_E_SIG_MALFORMED);
    EXPECT_EQ(VerifyEmbeddedSignature(m_content), ZAV_E_SIG_MISSING);
    EXPECT_EQ(VerifyEmbeddedSignature({}), ZAV_E_SIG_MISSING);
}

TEST_F(SignatureTest, OnlyTrustedKeysAreAccepted) {
    EvpPkeyPtr stranger = MakeKey(false);
    std::vector<uint8_t> image = m_content;
    ASSERT_EQ(EmbedSignature(stranger.get(), image), 0u);
    EXPECT_EQ(VerifyEmbeddedSignature(image), ZAV_E_SIG_MISMATCH);

    CPublicKey raw{};
    ASSERT_TRUE(GetRawPublicKey(stranger.get(), raw));
    ASSERT_EQ(AddTrustedKey(raw.data(), raw.size()), 0u);
    EXPECT_EQ(VerifyEmbeddedSignature(image), 0u);
    ClearAddedTrustedKeys();
    EXPECT_EQ(VerifyEmbeddedSignature(image), ZAV_E_SIG_MISMATCH);
    EXPECT_EQ(AddTrustedKey(raw.data(), 31), ZAV_E_INVALID_ARG);
}

TEST_F(SignatureTest, FileOwnSignatureThenDotSigOrTheChosenExtension) {
    const std::string file = m_dir.Path("lib.so");
    WriteBytes(file, m_content);
    EXPECT_EQ(VerifyFileSignature(file, nullptr), ZAV_E_SIG_MISSING);
    EXPECT_EQ(VerifyFileSignature(m_dir.Path("absent.so"), nullptr), ZAV_E_SIG_FILE_UNREADABLE);
    EXPECT_EQ(VerifyFileSignature(m_dir.Get().string(), nullptr), ZAV_E_SIG_FILE_UNREADABLE);

    // External signature only: it counts once the own signature is absent.
    ASSERT_EQ(SignFile(m_key.get(), file, false, ".sig"), 0u);
    EXPECT_EQ(ReadBytes(file), m_content);
    EXPECT_EQ(ReadBytes(file + ".sig").size(), ZAV_SIGNATURE_SIZE);
    EXPECT_EQ(VerifyFileSignature(file, nullptr), 0u);
    WriteBytes(file + ".sig", std::vector<uint8_t>(ZAV_SIGNATURE_SIZE - 1, 0));
    EXPECT_EQ(VerifyFileSignature(file, nullptr), ZAV_E_SIG_MALFORMED);

    // A broken own signature falls back to .sig, and reports its own failure without one.
    std::vector<uint8_t> image = m_content;
    ASSERT_EQ(EmbedSignature(m_key.get(), image), 0u);
    image[1] ^= 0x40;
    WriteBytes(file, image);
    std::vector<uint8_t> signature;
    ASSERT_EQ(SignBuffer(m_key.get(), image.data(), image.size(), signature), 0u);
    WriteBytes(file + ".sig", signature);
    EXPECT_EQ(VerifyFileSignature(file, nullptr), 0u);
    // A chosen extension is the only signature looked at, whatever the others say.
    ASSERT_EQ(SignFile(m_key.get(), file, false, ".p7s"), 0u);
    EXPECT_EQ(VerifyFileSignature(file, ".p7s"), 0u);
    ASSERT_EQ(SignFile(MakeKey(false).get(), file, false, ".p7s"), 0u);
    EXPECT_EQ(VerifyFileSignature(file, ".p7s"), ZAV_E_SIG_MISMATCH);
    std::filesystem::remove(file + ".sig");
    EXPECT_EQ(VerifyFileSignature(file, nullptr), ZAV_E_SIG_MISMATCH);
}

TEST_F(SignatureTest, KeyFilesRoundTrip) {
    const std::string privateFile = m_dir.Path("key.pem"), publicFile = m_dir.Path("key.pub.pem");
    ASSERT_EQ(SavePrivateKeyPem(m_key.get(), privateFile), 0u);
    ASSERT_EQ(SavePublicKeyPem(m_key.get(), publicFile), 0u);
    EXPECT_EQ(std::filesystem::status(privateFile).permissions() &
                  (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
              std::filesystem::perms::none);

    EvpPkeyPtr loaded, loadedPublic;
    ASSERT_EQ(LoadPrivateKeyPem(privateFile, loaded), 0u);
    ASSERT_EQ(LoadPublicKeyPem(publicFile, loadedPublic), 0u);
    CPublicKey raw{}, rawLoaded{}, rawPublic{};
    ASSERT_TRUE(GetRawPublicKey(m_key.get(), raw) && GetRawPublicKey(loaded.get(), rawLoaded) &&
                GetRawPublicKey(loadedPublic.get(), rawPublic));
    EXPECT_EQ(raw, rawLoaded);
    EXPECT_EQ(raw, rawPublic);
    EXPECT_EQ(LoadPrivateKeyPem(publicFile, loaded), ZAV_E_SIG_MALFORMED);
    EXPECT_EQ(LoadPrivateKeyPem(m_dir.Path("none.pem"), loaded), ZAV_E_SIG_FILE_UNREADABLE);
}

}  // namespace
