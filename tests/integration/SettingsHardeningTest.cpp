// Settings and files that are less trusted than code: a zero retry interval, and the dump files
// (what they hold, their permissions, links planted where they go).
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "IntegrationTest.h"

namespace eqit {
namespace {

const std::string kWaitLine =
    "CBaseServices::_DispatchThread(): Waiting on dispatch event with timeout = ";

class SettingsHardeningTest : public CIntegrationTest {};

std::string Read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return file ? text.str() : "(missing)";
}

mode_t Mode(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// retryInterval = 0 used to make every refused post follow the previous one at once (thousands a
// second). The dispatch thread traces every wait, so counting the waits of 0 ms shows the loop
// without timing anything.
TEST_F(SettingsHardeningTest, ZeroRetryIntervalStillWaitsBetweenAttempts) {
    CRefusingPort port;
    Start({port.Url()}, "retryInterval = 0\nretryCeiling = 0\nmaxServerRetry = 100\n");
    EXPECT_EQ(1u, CJournal::Get().CountTrace(
                      "zavServices::RetrieveSettingInRange(): Setting [event_query_services] "
                      "retryInterval = '0' is below 100..86400000; using 100"));
    ASSERT_EQ(0u, Eq().EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 1));
    ASSERT_TRUE(WaitForEvents("Error(", 3));
    // Each failure but the last has set the wait before the next attempt; only the first send,
    // of data queued while idle, may go without one.
    EXPECT_GE(CJournal::Get().CountTrace(kWaitLine + "100"), 2u);
    EXPECT_LE(CJournal::Get().CountTrace(kWaitLine + "0"), 1u);
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
