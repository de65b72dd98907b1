// Settings and files that are less trusted than code: a zero retry interval, credentials in a
// server URL, and links planted where the dump files go.
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

TEST_F(SettingsHardeningTest, CredentialsInServerUrlsNeverReachTheTraceLog) {
    CRefusingPort port;
    const std::string host = port.Url().substr(std::string("http://").size());
    Start({"http://eq:hunter2@" + host + "/base"});
    ASSERT_EQ(0u, Eq().EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 1));
    ASSERT_TRUE(WaitForEvents("Error("));
    EXPECT_NE(0u, Eq().EQ_TestCommSettings(0, 2000));

    EXPECT_EQ(1u, CJournal::Get().CountTrace("SCS_PostData: POST to 'http://eq:***@" + host +
                                             "/base/zav/event_query_services' failed: "));
    EXPECT_EQ(1u, CJournal::Get().CountTrace("CSessionConfig::TestCommSettings(): Server "
                                             "'http://eq:***@" +
                                             host + "/base' not reachable: "));
    CJournal::Get().Update([] {
        for (const std::string& line : CJournal::Get().m_trace) {
            EXPECT_EQ(std::string::npos, line.find("hunter2")) << line;
        }
    });
}

TEST_F(SettingsHardeningTest, DumpFilesAreTheOwnersOnlyAndNeverFollowALink) {
    CEventQueryTestServer server(&TwoItemAnswer);
    Start({server.Url()}, "dumpEnabled = 1\n");
    const std::string request = "eq_dump_event_query_req.txt";
    const std::string response = "eq_dump_event_query_resp.txt";
    // A link at the request's name, and a response file left readable by everybody; the mask
    // must not be what keeps the files private.
    std::ofstream("victim.txt") << "keep";
    std::filesystem::create_symlink("victim.txt", request);
    std::ofstream(response) << std::string(100000, 'x');
    ASSERT_EQ(0, chmod(response.c_str(), 0644));
    const mode_t mask = umask(022);

    ASSERT_EQ(0u, Eq().EQ_QueryVulnsByGroup(kStart, kEnd, "g1", 0, 1, 1));
    ASSERT_TRUE(WaitForEvents("EndSet(1)"));
    EXPECT_EQ("keep", Read("victim.txt"));
    EXPECT_TRUE(std::filesystem::is_symlink(request));
    EXPECT_EQ(server.Posts().back().answer, Read(response));  // truncated, then written
    EXPECT_EQ(0600u, Mode(response));

    // Without the link the request is dumped, to a new file of the owner's only.
    std::filesystem::remove(request);
    ASSERT_EQ(0u, Eq().EQ_QueryVulnsByGroup(kStart, kEnd, "g2", 0, 1, 2));
    ASSERT_TRUE(WaitForEvents("EndSet(2)"));
    EXPECT_EQ(server.Posts().back().body, Read(request));
    EXPECT_EQ(0600u, Mode(request));
    umask(mask);
}

}  // namespace
}  // namespace eqit
