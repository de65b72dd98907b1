// A copy of the built session configuration component in a scratch folder, signed with a key of
// the test's own that the loader trusts: tests load the real component without the build's key.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "security/SignatureTestSupport.h"
#include "services/mslLoader_zavSessionConfigSvcs.h"

namespace zavTest {

// Fails the test (non-fatally) when the copy cannot be made or signed; key receives the key.
inline ::testing::AssertionResult CopySignedComponent(const CScratchDir& dir,
                                                      zavSecurity::EvpPkeyPtr& key) {
    const std::string built =
        std::string(ZAV_TEST_BINARY_DIR) + "/scs/" + zavServices::ZAV_SCS_LIBRARY_NAME;
    const std::string copy = dir.Path(zavServices::ZAV_SCS_LIBRARY_NAME);
    std::error_code error;
    key = MakeKey(true);
    if (std::filesystem::copy_file(built, copy, error) &&
        zavSecurity::SignFile(key.get(), copy, true, nullptr) == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "cannot copy " << built << " and sign the copy " << copy << ": " << error.message();
}

}  // namespace zavTest
