// Settings and files that are less trusted than code, seen through the library's interface.
#include <string>

#include "IntegrationTest.h"

namespace eqit {
namespace {

const std::string kWaitLine =
    "CBaseServices::_DispatchThread(): Waiting on dispatch event with timeout = ";

class SettingsHardeningTest : public CIntegrationTest {};

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

}  // namespace
}  // namespace eqit
