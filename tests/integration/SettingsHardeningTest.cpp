// Files that are less trusted than code: the dump files (what they hold, their permissions, links
// planted where they go). A zero retry interval is FailureTest's.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "IntegrationTest.h"

namespace eqit {
namespace {

class SettingsHardeningTest : public CIntegrationTest {};

std::string Read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return file ? std::string(std::istreambuf_iterator<char>(file), {}) : "(missing)";
}

mode_t Mode(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// The dump holds the credentials (the README says so); the trace, at every level, does not. The
// dump files are the owner's only, whatever the mask, and never written through a link.
TEST_F(SettingsHardeningTest, DumpFilesHoldWhatWasPostedAndReceived) {
    CEventQueryTestServer server(&TwoItemAnswer);
    Start({server.Url()});
    const EqApi& eq = Eq();
    const char *request = "eq_dump_event_query_req.txt", *response = "eq_dump_event_query_resp.txt";

    // Off by default (the fixture runs in a fresh current directory).
    ASSERT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, "g1", 0, 1, 1));
    ASSERT_TRUE(WaitForEvents("EndSet(1)"));
    EXPECT_EQ("(missing)", Read(request));
    EXPECT_EQ("(missing)", Read(response));

    // Switched on by reloading the local settings; each exchange overwrites the files. First
    // with a link at the request's name and a response file left readable by everybody.
    WriteSettings({server.Url()}, "dumpEnabled = 1\n");
    ASSERT_EQ(0u, eq.EQ_SetAuthentication("operator", "pa'ss-7f3k"));
    ASSERT_EQ(0u, eq.EQ_LoadLocalSettingsFile(m_localFile.c_str()));
    std::ofstream("victim.txt") << "keep";
    std::filesystem::create_symlink("victim.txt", request);
    std::ofstream(response) << std::string(100000, 'x');
    ASSERT_EQ(0, chmod(response, 0644));
    const mode_t mask = umask(022);
    for (uint32_t cd = 2; cd <= 3; ++cd) {
        const std::string group = "g" + std::to_string(cd);
        ASSERT_EQ(0u, eq.EQ_QueryVulnsByGroup(kStart, kEnd, group.c_str(), 0, 1, cd));
        ASSERT_TRUE(WaitForEvents("EndSet(" + std::to_string(cd) + ")"));
        const std::vector<PostedRequest> posts = server.Posts();
        ASSERT_EQ(cd, posts.size());
        EXPECT_EQ(cd == 2 ? "keep" : posts.back().body, Read(cd == 2 ? "victim.txt" : request));
        EXPECT_EQ(cd == 2, std::filesystem::is_symlink(request));
        EXPECT_EQ(posts.back().answer, Read(response));  // truncated, then written
        EXPECT_EQ(0600u, Mode(cd == 2 ? response : request));
        EXPECT_NE(std::string::npos, posts.back().body.find("auth-hash='pa&apos;ss-7f3k'"));
        std::filesystem::remove(request);
    }
    umask(mask);
    size_t masked = 0;
    for (const std::string& line : CJournal::Get().TraceLines()) {
        EXPECT_EQ(std::string::npos, line.find("ss-7f3k")) << line;
        masked += line.find("auth-token='operator' auth-hash='***'") != std::string::npos;
    }
    EXPECT_EQ(2u, masked);
}

}  // namespace
}  // namespace eqit
