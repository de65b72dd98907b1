// Helpers for tests that need signed files: a scratch directory and a key of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "security/zavSigner.h"

namespace zavTest {

// A directory removed with everything in it at the end of the test.
class CScratchDir {
public:
    CScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zavsig.XXXXXX").string();
        EXPECT_NE(nullptr, mkdtemp(pattern.data()));
        m_path = pattern;
    }
    ~CScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;
    std::string Path(const std::string& name) const { return (m_path / name).string(); }
    const std::filesystem::path& Get() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A fresh Ed25519 key; with bTrusted its public half is added to the trusted keys.
inline zavSecurity::EvpPkeyPtr MakeKey(bool bTrusted) {
    zavSecurity::EvpPkeyPtr key = zavSecurity::GenerateSigningKey();
    zavSecurity::CPublicKey raw{};
    if (bTrusted) {
        EXPECT_TRUE(zavSecurity::GetRawPublicKey(key.get(), raw));
        EXPECT_EQ(zavSecurity::AddTrustedKey(raw.data(), raw.size()), 0u);
    }
    return key;
}

}  // namespace zavTest
