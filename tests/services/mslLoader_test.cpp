#include "services/mslLoader.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

#include "security/SignatureTestSupport.h"
#include "services/TraceCapture.h"
#include "services/mslLoader_zavSessionConfigSvcs.h"
#include "zavToolsLib/zavStatus.h"

namespace {

using namespace zavServices;
using namespace zavToolsLib;
using zavTest::CScratchDir;

const std::string kFixtureDir = std::string(ZAV_TEST_BINARY_DIR) + "/tests/fixtures/";
const std::string kFullFixture = kFixtureDir + "libzav_fixture_scs.so";
const std::string kPartialFixture = kFixtureDir + "libzav_fixture_scs_partial.so";
const std::string kBuildSignedFixture = kFixtureDir + "libzav_fixture_scs_build_signed.so";

std::string NotLoadedLine(const char* name) {
    return std::string(name) +
           ":  Unable to invoke function.  Make sure Management Services Library is successfully "
           "loaded.\n";
}

// What the fixture left in the environment: the arguments of its setters, and counts of its
// constructor and destructor runs.
std::string Env(const char* variable) {
    const char* text = std::getenv(variable);
    return text != nullptr ? text : "(unset)";
}
int EnvCount(const char* variable) { return std::atoi(Env(variable).c_str()); }

// Whether the dynamic linker has this file open, without opening it.
bool IsOpen(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle != nullptr) dlclose(handle);
    return handle != nullptr;
}

using Check = std::function<void(bool, const std::string&)>;

// Runs fn in a child process (for what a process cannot undo); fn reports through its check.
void InChildProcess(const std::function<void(const Check&)>& fn) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto run = [&] {
        std::string failures;
        fn([&](bool condition, const std::string& what) {
            failures += condition ? "" : what + "\n";
        });
        std::fputs(failures.c_str(), stderr);
        std::exit(failures.empty() ? 0 : 1);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        TraceCapture::Clear();
        SetMSLLoaderTraceLog(&TraceCapture::g_log);
        SetMSLLoaderLibPath("");
        unsetenv("ZAV_FIXTURE_LIB_PATH");
        unsetenv("ZAV_FIXTURE_SIG_EXT");
        m_key = zavTest::MakeKey(true);
    }
    void TearDown() override {
        SetMSLLoaderTraceLog(nullptr);
        zavSecurity::ClearAddedTrustedKeys();
    }

    // A copy of source in the scratch directory, signed with key as given.
    std::string Copy(const std::string& source, const std::string& name, EVP_PKEY* key = nullptr,
                     bool bEmbed = true, const char* extension = nullptr) {
        const std::string path = m_dir.Path(name);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::filesystem::copy_file(source, path, std::filesystem::copy_options::overwrite_existing);
        if (key != nullptr) {
            EXPECT_EQ(zavSecurity::SignFile(key, path, bEmbed, extension), 0u);
        }
        return path;
    }

    CScratchDir m_dir;
    zavSecurity::EvpPkeyPtr m_key;
};

using TraceCapture::Count;

// Slots fall back before a load, and after a missing symbol for it and every later slot.
TEST_F(LoaderTest, EntryPointsFallBackBeforeASuccessfulLoad) {
    // A missing file is no signature error: the trace names where it was looked for.
    EXPECT_EQ(LoadZavSessionConfigSvcs(m_dir.Path("absent.so").c_str()), ZAV_E_LIB_OPEN);
    EXPECT_EQ(GetZavSessionConfigSvcsLoadCount(), 0);
    EXPECT_EQ(
        Count("mslLoader::LoadServiceLibrary(): component not found: " + m_dir.Path("absent.so"), 1,
              true),
        1u);
    EXPECT_EQ(Count("LoadServiceLibrary() returned an error: ", 1), 1u);

    testing::internal::CaptureStdout();
    uint32_t length = 0;
    char* response = nullptr;
    EXPECT_EQ(SCS_CALL(SCS_PostData)(0, 0, "/p", 0, "t", "d", 1, nullptr, &response, &length),
              ZAV_E_NOT_LOADED);
    EXPECT_EQ(SCS_CALL(SCS_Allocate)(16), nullptr);
    SCS_CALL(SCS_Free)(nullptr);

    const std::string path = Copy(kPartialFixture, "libpartial.so", m_key.get());
    ASSERT_EQ(LoadZavSessionConfigSvcs(path.c_str()), ZAV_E_LIB_SYMBOL);
    EXPECT_EQ(
        Count("mslLoader::LookupSymbol(): Error mapping symbol:  'SCS_GetServerCount'", 1, true),
        1u);
    EXPECT_EQ(GetZavSessionConfigSvcsLoadCount(), 1);
    EXPECT_NE(SCS_CALL(SCS_SetLastGoodAgentId)("a"), ZAV_E_NOT_LOADED);  // bound before the gap
    EXPECT_EQ(SCS_CALL(SCS_GetServerCount)(1, &length), ZAV_E_NOT_LOADED);
    EXPECT_EQ(SCS_CALL(SCS_HttpHeadersCopy)(1, &length), ZAV_E_NOT_LOADED);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              NotLoadedLine("SCS_PostData") + NotLoadedLine("SCS_Allocate") +
                  NotLoadedLine("SCS_Free") + NotLoadedLine("SCS_GetServerCount") +
                  NotLoadedLine("SCS_HttpHeadersCopy"));
    EXPECT_EQ(Env("ZAV_FIXTURE_LIB_PATH"), "(unset)");  // binding never finished
    EXPECT_TRUE(IsOpen(path));
    EXPECT_EQ(UnloadZavSessionConfigSvcs(), 0u);
    EXPECT_FALSE(IsOpen(path));
}

TEST_F(LoaderTest, OnlyTheFirstLoadOpensAndOnlyTheLastUnloadCloses) {
    const std::string path = Copy(kFullFixture, "libscs.so", m_key.get());
    SetMSLLoaderLibPath(m_dir.Get().c_str());
    const int constructed = EnvCount("ZAV_FIXTURE_CONSTRUCTED");
    const int destructed = EnvCount("ZAV_FIXTURE_DESTRUCTED");

    ASSERT_EQ(LoadZavSessionConfigSvcs("libscs.so"), 0u);
    TraceCapture::Clear();
    ASSERT_EQ(LoadZavSessionConfigSvcs("libscs.so"), 0u);
    EXPECT_EQ(Count(""), 0u);  // only counted
    EXPECT_EQ(GetZavSessionConfigSvcsLoadCount(), 2);
    EXPECT_EQ(EnvCount("ZAV_FIXTURE_CONSTRUCTED"), constructed + 1);

    // Every slot holds the entry point of its own name, and the component got the directory.
    void* library = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
#define ZAV_TEST_SLOT(kind, name, params) \
    EXPECT_EQ(reinterpret_cast<void*>(zavSCS().name.Get()), dlsym(library, #name)) << #name;
    ZAV_SCS_ENTRY_POINTS(ZAV_TEST_SLOT)
#undef ZAV_TEST_SLOT
    dlclose(library);
    EXPECT_EQ(Env("ZAV_FIXTURE_LIB_PATH"), m_dir.Get().string() + "/");
    EXPECT_EQ(Env("ZAV_FIXTURE_SIG_EXT"), "(unset)");

    for (int left : {1, 0, 0}) {
        EXPECT_EQ(UnloadZavSessionConfigSvcs(), 0u);
        EXPECT_EQ(GetZavSessionConfigSvcsLoadCount(), left);
        EXPECT_EQ(IsOpen(path), left != 0);
    }
    EXPECT_EQ(EnvCount("ZAV_FIXTURE_DESTRUCTED"), destructed + 1);

    // The library path gets exactly one slash.
    for (const char* given : {"/opt/zav", "/opt/zav/"}) {
        SetMSLLoaderLibPath(given);
        EXPECT_EQ(GetMSLLoaderLibPath(), "/opt/zav/");
    }
    // A name with a directory still gets the prefix, with a warning.
    const std::string sub = Copy(kFullFixture, "sub/libscs.so", m_key.get());
    SetMSLLoaderLibPath(m_dir.Get().c_str());
    mslLibHandle handle;
    ASSERT_EQ(LoadServiceLibrary("sub/libscs.so", &handle), 0u);
    EXPECT_EQ(handle.m_strFileName, sub);
    EXPECT_EQ(Count("'library' argument contains file path", 2), 1u);
    EXPECT_EQ(UnloadServiceLibrary(&handle), 0u);
    EXPECT_EQ(UnloadServiceLibrary(&handle), ZAV_E_NO_SERVER);

    // Full names are cut to 4095 characters.
    const std::string longName(5000, 'x');
    EXPECT_EQ(LoadServiceLibrary(longName.c_str(), &handle), ZAV_E_LIB_OPEN);
    EXPECT_EQ(Count("mslLoader::LoadServiceLibrary(): Full library to load: " +
                        (m_dir.Get().string() + "/" + longName).substr(0, 4095),
                    8, true),
              1u);
    EXPECT_EQ(Count("'library' argument contains file path"), 1u);
    EXPECT_EQ(LoadServiceLibrary("", &handle), ZAV_E_INVALID_ARG);
    EXPECT_EQ(LoadServiceLibrary("x", nullptr), ZAV_E_INVALID_ARG);
}

TEST_F(LoaderTest, LibraryWithoutAValidSignatureIsNeverOpened) {
    const std::string signedCopy = Copy(kFullFixture, "signed.so", m_key.get());
    const std::vector<uint8_t> image = zavTest::ReadBytes(signedCopy);
    // One byte of the compiler's note, which the dynamic linker never reads; and the length field
    // of the signature trailer.
    const std::string note = "GCC: (";
    const auto where = std::search(image.begin(), image.end(), note.begin(), note.end());
    ASSERT_NE(where, image.end());
    auto changed = [&](size_t at, const char* name) {
        std::vector<uint8_t> bytes = image;
        bytes[at] ^= 0x20;
        zavTest::WriteBytes(m_dir.Path(name), bytes);
        return m_dir.Path(name);
    };
    zavSecurity::EvpPkeyPtr stranger = zavTest::MakeKey(false);
    const std::pair<std::string, uint32_t> refused[] = {
        {changed(where - image.begin() + 1, "tampered.so"), ZAV_E_SIG_MISMATCH},
        {Copy(kFullFixture, "unsigned.so"), ZAV_E_SIG_MISSING},
        {Copy(kFullFixture, "stranger.so", stranger.get()), ZAV_E_SIG_MISMATCH},
        {changed(image.size() - 16, "malformed.so"), ZAV_E_SIG_MALFORMED},
    };
    for (const auto& [path, status] : refused) {
        SCOPED_TRACE(path);
        const int constructed = EnvCount("ZAV_FIXTURE_CONSTRUCTED");
        mslLibHandle handle;
        EXPECT_EQ(LoadServiceLibrary(path.c_str(), &handle), status);
        EXPECT_EQ(handle.m_pLibrary, nullptr);
        EXPECT_EQ(EnvCount("ZAV_FIXTURE_CONSTRUCTED"), constructed);
    }
    EXPECT_EQ(Count("VerifyFileSignature() returned an error: ", 1), std::size(refused));

    // A signed file that is no library fails at the open.
    mslLibHandle handle;
    const std::string text = m_dir.Path("text.so");
    zavTest::WriteBytes(text, std::vector<uint8_t>(100, 'a'));
    ASSERT_EQ(zavSecurity::SignFile(m_key.get(), text, true, nullptr), 0u);
    EXPECT_EQ(LoadServiceLibrary(text.c_str(), &handle), ZAV_E_LIB_OPEN);
    EXPECT_EQ(Count("cLibLoadLibrary() returned an error: ", 1), 1u);

    // Test keys are not built in; the build signs its libraries with the built-in key.
    zavSecurity::ClearAddedTrustedKeys();
    EXPECT_EQ(LoadServiceLibrary(signedCopy.c_str(), &handle), ZAV_E_SIG_MISMATCH);
    ASSERT_EQ(LoadServiceLibrary(kBuildSignedFixture.c_str(), &handle), 0u);
    EXPECT_EQ(UnloadServiceLibrary(&handle), 0u);
}

// The hook's file to rename over the verified one.
std::string g_strReplacement;

// What was verified is what gets mapped: a file renamed over the name after the check is never
// opened, and the dynamic linker does not hand back an earlier library that was opened through
// the same descriptor number.
TEST_F(LoaderTest, WhatWasVerifiedIsWhatGetsMapped) {
    // Only an external ".sig", so that it too is checked over the opened bytes.
    const std::string path = Copy(kFullFixture, "libswap.so", m_key.get(), false, ".sig");
    g_strReplacement = Copy(kPartialFixture, "unsigned.so");  // lacks SCS_GetServerCount
    SetMSLLoaderVerifiedHook(
        [](const char* file) { EXPECT_EQ(std::rename(g_strReplacement.c_str(), file), 0); });
    const int constructed = EnvCount("ZAV_FIXTURE_CONSTRUCTED");
    mslLibHandle first;
    const uint32_t status = LoadServiceLibrary(path.c_str(), &first);
    SetMSLLoaderVerifiedHook(nullptr);
    ASSERT_EQ(status, 0u);
    EXPECT_FALSE(std::filesystem::exists(g_strReplacement));  // the swap did happen
    EXPECT_EQ(EnvCount("ZAV_FIXTURE_CONSTRUCTED"), constructed + 1);
    void* symbol = nullptr;
    EXPECT_EQ(LookupSymbol(&first, &symbol, "SCS_GetServerCount"), 0u);
    EXPECT_FALSE(IsOpen(path));  // the file now under that name

    // The first library stays open while the next one is opened.
    const std::string other = Copy(kPartialFixture, "libother.so", m_key.get());
    mslLibHandle second;
    ASSERT_EQ(LoadServiceLibrary(other.c_str(), &second), 0u);
    EXPECT_NE(second.m_pLibrary, first.m_pLibrary);
    EXPECT_EQ(LookupSymbol(&second, &symbol, "SCS_GetServerCount"), ZAV_E_LIB_SYMBOL);
    EXPECT_EQ(UnloadServiceLibrary(&second), 0u);
    EXPECT_EQ(UnloadServiceLibrary(&first), 0u);
}

// A bare name is looked for in the loader's own places only, never through dlopen's search or in
// the current directory: an unsigned copy on LD_LIBRARY_PATH is not loaded because a signed one
// sits in the current directory. LD_LIBRARY_PATH is read at start-up: the threadsafe death test
// starts this program again with it.
TEST_F(LoaderTest, BareNameIsNotLeftToTheLibrarySearchPath) {
    const std::string name = "libzav_probe_scs.so";
    Copy(kFullFixture, "search/" + name);
    Copy(kBuildSignedFixture, "cwd/" + name);
    const std::string previous = Env("LD_LIBRARY_PATH");
    setenv("LD_LIBRARY_PATH", m_dir.Path("search").c_str(), 1);
    InChildProcess([&](const Check& check) {
        std::filesystem::current_path(m_dir.Path("cwd"));
        const int constructed = EnvCount("ZAV_FIXTURE_CONSTRUCTED");
        mslLibHandle handle;
        check(LoadServiceLibrary(name.c_str(), &handle) == ZAV_E_LIB_OPEN, "loaded");
        std::string places;
        for (const std::string& directory : GetMSLLoaderSearchDirectories())
            places += (places.empty() ? "" : ", ") + directory + "/" + name;
        check(
            Count("mslLoader::LoadServiceLibrary(): component not found: " + places, 1, true) == 1,
            "not found line naming " + places);
        check(EnvCount("ZAV_FIXTURE_CONSTRUCTED") == constructed, "constructed");
        // dlopen's own search would have taken the unsigned copy.
        void* direct = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        check(direct != nullptr && EnvCount("ZAV_FIXTURE_CONSTRUCTED") == constructed + 1,
              "LD_LIBRARY_PATH not in effect");
    });
    previous == "(unset)" ? unsetenv("LD_LIBRARY_PATH")
                          : setenv("LD_LIBRARY_PATH", previous.c_str(), 1);
}

// The extension cannot be unset within a process, so this runs in a child process.
TEST_F(LoaderTest, ChosenSignatureExtensionIsTheOnlyOneAccepted) {
    InChildProcess([this](const Check& check) {
        const std::string path = Copy(kFullFixture, "ext.so", m_key.get(), true, ".sig");
        SetMSLLoaderExtSigFileExtension(".zsig");
        mslLibHandle handle;
        check(LoadServiceLibrary(path.c_str(), &handle) == ZAV_E_SIG_MISSING,
              "own and .sig signatures must not count");
        check(!IsOpen(path), "opened without its .zsig");
        check(zavSecurity::SignFile(m_key.get(), path, false, ".zsig") == 0, "sign .zsig");
        check(LoadZavSessionConfigSvcs(path.c_str()) == 0, "load with .zsig");
        check(Env("ZAV_FIXTURE_SIG_EXT") == ".zsig", "component got .zsig");
        check(UnloadZavSessionConfigSvcs() == 0, "unload");
        SetMSLLoaderExtSigFileExtension("");
        check(GetExternalFileSigExtSet() && GetMSLLoaderExtSigFileExtension().empty(),
              "empty extension keeps the choice");
    });
}

TEST_F(LoaderTest, LoaderLocksAreRecursiveAndOwned) {
    ASSERT_EQ(TakeLoaderLock(mslLockId::Library), 0u);
    ASSERT_EQ(TakeLoaderLock(mslLockId::Library), 0u);
    uint32_t otherThread = 0;
    std::thread([&] { otherThread = ReleaseLoaderLock(mslLockId::Library); }).join();
    EXPECT_EQ(otherThread, static_cast<uint32_t>(EPERM));
    EXPECT_EQ(Count("cLockRelease() for recursive iteration returned an error: ", 1), 1u);
    EXPECT_EQ(ReleaseLoaderLock(mslLockId::Library), 0u);
    EXPECT_EQ(ReleaseLoaderLock(mslLockId::Library), 0u);
    EXPECT_EQ(ReleaseLoaderLock(mslLockId::Library), ZAV_I_LOCK_NOT_HELD);

    ASSERT_EQ(TakeLoaderLock(mslLockId::Load), 0u);
    EXPECT_EQ(mslLoaderCleanup(), 0u);  // releases the hold first
    EXPECT_EQ(ReleaseLoaderLock(mslLockId::Load), ZAV_E_LOCK_NOT_SET_UP);
    EXPECT_EQ(TakeLoaderLock(mslLockId::Load), 0u);
    EXPECT_EQ(ReleaseLoaderLock(mslLockId::Load), 0u);
}

}  // namespace
