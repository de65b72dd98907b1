#include <gtest/gtest.h>
#include <nl_types.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>

#include "zavEventQuerySvcs.h"
#include "zavToolsLib/zavCatalog.h"
#include "zavToolsLib/zavError.h"

namespace fs = std::filesystem;
using namespace zavToolsLib;

namespace {

// Every status the library and its component return. Each must have a text of its own (which
// also proves that informational statuses are found under code + 0x4000).
const uint32_t kAllStatuses[] = {
    // general
    0xC7210001, 0xC7210003, 0xC7210004, 0xC7210005, 0xC7210009, 0x4721000E, 0xC7210014, 0xC7210016,
    0xC7210017, 0xC7210019, 0xC721001A, 0xC7210021, 0xC721002D, 0xC721002E, 0xC7210032, 0xC7210034,
    0xC7210035, 0xC7210037, 0xC7210038, 0xC721003C, 0xC7210042, 0x4721003B,
    // libraries, signatures
    0xC7360001, 0xC7360002, 0xC7360004, 0xC7360010, 0xC7360011, 0xC7360012, 0xC7360013, 0xC7360014,
    // CML documents
    0x47380001, 0xC7380002, 0xC7380003, 0xC7380005, 0xC738000A, 0xC738000B, 0xC738000E, 0xC738000F,
    0xC7380011, 0xC7380014, 0xC7380024, 0xC7380027, 0xC7380030, 0xC7380031,
    // event query client
    0xC75802BC, 0x475802BD, 0xC75802BF, 0xC75802C1, 0xC75802C2,
    // session configuration component and transport
    0xC7590001, 0xC7590002, 0xC7590003, 0xC7590004, 0xC7590005, 0xC7590006, 0xC7590007, 0xC7590008,
    0xC7590009, 0xC759000A, 0xC759000B, 0xC759000C, 0xC759000D, 0xC759000E, 0x4759001F, 0x47590025};

std::string Text(uint32_t status, uint32_t size = 1024) {
    std::string buffer(size, '\0');
    EXPECT_EQ(0u, EQ_GetErrorMsg(status, buffer.data(), size));
    return buffer.c_str();
}

std::string Tail(uint32_t status) {
    char id[12];
    FormatStatusId(status, id);
    return std::string(" [ID=") + id + "]";
}

// Puts an environment variable back as it was.
struct EnvVar {
    explicit EnvVar(const char* name) : m_name(name) {
        if (const char* value = std::getenv(name)) m_saved = value;
    }
    ~EnvVar() { m_saved ? setenv(m_name, m_saved->c_str(), 1) : unsetenv(m_name); }
    const char* m_name;
    std::optional<std::string> m_saved;
};

struct ZAVErrorTest : ::testing::Test {
    void SetUp() override { ASSERT_EQ(0, OpenCatalog(ZAV_TEST_NLS_DIR, ZAV_CATALOG_NAME, "")); }
};

}  // namespace

TEST_F(ZAVErrorTest, EveryStatusHasATextOfItsOwnFollowedByTheIdentifier) {
    const char* raw = catgets(GetCatalogHandle(), 37, 3, nullptr);
    ASSERT_NE(nullptr, raw);
    EXPECT_EQ(std::string(raw) + " [ID=0xc7210003]", Text(0xC7210003, 256));

    // A status the catalog lacks reports catgets' error number.
    EXPECT_EQ("Status " + std::to_string(ENOMSG) +
                  " retrieving message text for [0xc72100ff] [ID=0xc72100ff]",
              Text(0xC72100FF));
    // With the catalog flag a small status is looked up in the catalog (which has no set 1).
    EXPECT_EQ(0, std::strncmp("Status ", ZAVError(22, 1).GetText(), 7));
    std::set<std::string> texts;
    for (uint32_t status : kAllStatuses) {
        const std::string text = Text(status), tail = Tail(status);
        SCOPED_TRACE(text);
        EXPECT_EQ(std::string::npos, text.find("retrieving message text"));
        ASSERT_GT(text.size(), tail.size() + 10);
        ASSERT_EQ(tail, text.substr(text.size() - tail.size()));
        EXPECT_TRUE(texts.insert(text.substr(0, text.size() - tail.size())).second) << "used twice";
    }
    // Facility 0x72B: its code is insert 1 of 0xC721002D. Facilities above 0x7FF: bits 26-21
    // return to 29-24, or all six set give bit 31.
    for (const auto& [status, part] : {std::pair{0xC72B1234u, "4660"},
                                       {0x88A00007u, "0x05000007"},
                                       {0x8FE00001u, "0x80000001"}}) {
        const std::string text = Text(status);
        EXPECT_NE(std::string::npos, text.find(part)) << text;
        EXPECT_EQ(Tail(status), text.substr(text.size() - Tail(status).size()));
    }
}

TEST_F(ZAVErrorTest, WithoutCatalogTheTextNamesTheStatusTwice) {
    {
        EnvVar nlsPath("NLSPATH");
        unsetenv("NLSPATH");
        EXPECT_NE(0, OpenCatalog(nullptr, "zav-NoSuchCatalog", ""));
    }
    EXPECT_EQ("Status 2 retrieving message text for [0xc7210003] [ID=0xc7210003]",
              Text(0xC7210003));
    // Operating-system errors need no catalog.
    EXPECT_EQ(std::string(std::strerror(22)) + " [ID=22]", Text(22));
}

TEST_F(ZAVErrorTest, BufferHandling) {
    char buffer[8] = "unused";
    EXPECT_EQ(0xC7210003u, EQ_GetErrorMsg(0xC7210003, nullptr, 256));
    EXPECT_EQ(0xC7210003u, EQ_GetErrorMsg(0xC7210003, buffer, 1));
    EXPECT_STREQ("unused", buffer);
    // Without room for the NUL nothing is copied.
    const std::string full = Text(0xC7210003);
    const auto length = static_cast<uint32_t>(full.size());
    std::string exact(length, 'x');
    EXPECT_EQ(0u, EQ_GetErrorMsg(0xC7210003, exact.data(), length));
    EXPECT_EQ(std::string(length, '\0'), exact);
    EXPECT_EQ(full, Text(0xC7210003, length + 1));
}

TEST(ZAVErrorText, EscapesAndInserts) {
    for (const auto& [in, width, out] : {std::tuple{"first%0second", 255, "first"},
                                         {"a%bb%rc%%d%.e%!f%\\g", 255, "a b\rc%d.e!f\ng"},
                                         {"%q 100%", 255, "%q 100%"},
                                         {"x\ny", 255, "x y"},
                                         {"x\ny", 0, "x\ny"}}) {
        EXPECT_EQ(out, ProcessInserts(in, width, {})) << in;
    }

    EXPECT_EQ("-5 of two, again -5, hex 0xff, [two ], missing %4",
              ProcessInserts("%1!d! of %2, again %1, hex %3!#x!, [%2!-4s!], missing %4", 255,
                             {-5, "two", 255u}));
    EXPECT_EQ("ffffffff 2.50 7 712x",
              ProcessInserts("%1!x! %2!.2f! %3!n! %3%4x", 255, {int32_t{-1}, 2.5, 7, 12}));
}

// A trailing newline and blanks go before the identifier is appended; the identifier moves to a
// line of its own when the last line leaves no room for it.
TEST(ZAVErrorText, Composition) {
    const std::string fits = "head\n" + std::string(248, 'a'), over = fits + 'a';
    for (const auto& [text, width, out] :
         {std::tuple<std::string, uint32_t, std::string>{ProcessInserts("Broken\n  ", 255, {}), 255,
                                                         "Broken [ID=5]"},
          {"Broken  \n", 255, "Broken [ID=5]"},
          {"one\ntwo", 255, "one\ntwo [ID=5]"},
          {"t", 0, "t [ID=5]\n"},
          {fits, 255, fits + " [ID=5]"},
          {over, 255, over + "\n[ID=5]"}}) {
        EXPECT_EQ(out, ComposeStatusText(text, "5", width));
    }
    EXPECT_EQ("aaa\nbbb\nccc", BreakLines("aaa bbb ccc", 5));
}

TEST_F(ZAVErrorTest, OpenKeepsTheCallersEnvironmentAndLooksInTheCurrentDirectory) {
    EnvVar nlsPath("NLSPATH"), lang("LANG");
    const fs::path dir = fs::path(testing::TempDir()) / "zavError_test";
    fs::create_directories(dir);
    fs::copy_file(fs::path(ZAV_TEST_NLS_DIR) / "C/LC_MESSAGES/zav-MgmtSvcs.cat",
                  dir / "zav-test.cat", fs::copy_options::overwrite_existing);

    // The path of the open ends with the caller's NLSPATH, else with the default folders.
    const std::string callers = (dir / "%N.cat").string();
    for (const auto& [nlsPath, end] : {std::pair<std::string, std::string>{callers, ":" + callers},
                                       {"", "/usr/lib/qel/nls/C/LC_MESSAGES/%N.cat"}}) {
        const std::string path = CatalogOpenPath(ZAV_TEST_NLS_DIR, nlsPath);
        EXPECT_EQ(end, path.substr(path.size() - std::min(path.size(), end.size()))) << path;
    }
    // The caller's NLSPATH is searched too, and put back afterwards; LANG is cleared again.
    setenv("NLSPATH", callers.c_str(), 1);
    unsetenv("LANG");
    EXPECT_EQ(0, OpenCatalog(nullptr, "zav-test", ""));
    EXPECT_STREQ(callers.c_str(), std::getenv("NLSPATH"));
    EXPECT_STREQ("", std::getenv("LANG"));

    // A LANG the caller set stays; an unset NLSPATH comes back empty.
    setenv("LANG", "C", 1);
    unsetenv("NLSPATH");
    EXPECT_EQ(0, OpenCatalog(ZAV_TEST_NLS_DIR, ZAV_CATALOG_NAME, ""));
    EXPECT_STREQ("C", std::getenv("LANG"));
    EXPECT_STREQ("", std::getenv("NLSPATH"));

    // Without NLSPATH the current directory is the last resort, with or without the suffix.
    unsetenv("NLSPATH");
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    EXPECT_EQ(0, OpenCatalog(nullptr, "zav-test", ""));
    EXPECT_EQ(0, OpenCatalog(nullptr, "zav-test.cat", ""));
    EXPECT_NE(0, OpenCatalog(nullptr, "zav-elsewhere", ""));
    fs::current_path(previous);
    fs::remove_all(dir);
}
