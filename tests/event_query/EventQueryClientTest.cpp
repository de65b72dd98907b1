// The exported functions against the real session configuration component with an empty server
// list: statuses before initialisation, argument checks with their trace lines, the Get forms'
// time conversion, and a settings reload.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include "services/TraceCapture.h"
#include "zavEventQuerySvcs.h"

namespace {

constexpr const char* kStart = "2008-01-01T00:00:00Z";
constexpr const char* kEnd = "2008-01-02T00:00:00Z";

// The number of captured lines that contain text.
size_t CountLinesWith(const std::string& text) {
    std::lock_guard<std::mutex> lock(TraceCapture::g_mutex);
    size_t count = 0;
    for (const std::string& line : TraceCapture::g_lines) {
        if (line.find(text) != std::string::npos) ++count;
    }
    return count;
}

class EventQueryClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "zaveq.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        EQ_SetMSLLibPath((std::string(ZAV_TEST_BINARY_DIR) + "/scs").c_str());
        TraceCapture::Clear();
    }
    void TearDown() override {
        EQ_ShutDown();
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = (m_dir / name).string();
        std::ofstream(path) << text;
        return path;
    }
    uint32_t Init(const std::string& settings = "") {
        const std::string local = Write(
            "local.ini", "[event_query_services]\n" + settings + "\n[agent]\nagent_id = a-1\n");
        const std::string comm = Write("comm.ini", "[servers]\n");
        return EQ_Init("5.0", local.c_str(), comm.c_str(), "event_query_tests", nullptr, "agent",
                       "urn:test", &TraceCapture::g_log);
    }

    std::filesystem::path m_dir;
};

}  // namespace

TEST(EventQueryClient, StatusesBeforeInit) {
    const uint32_t notInit = EQ_E_NOT_INITIALIZED;
    EXPECT_EQ(EQ_ShutDown(), EQ_S_OK);
    EXPECT_EQ(EQ_RegisterErrorCallback(nullptr), notInit);
    EXPECT_EQ(EQ_RegisterResultSetCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr), notInit);
    EXPECT_EQ(EQ_LoadCommSettingsFile("x"), notInit);
    EXPECT_EQ(EQ_LoadLocalSettingsFile("x"), notInit);
    EXPECT_EQ(EQ_SaveCommSettings("x"), notInit);
    EXPECT_EQ(EQ_SetLanguage("en"), notInit);
    EXPECT_EQ(EQ_SetAgentId("a"), notInit);
    EXPECT_EQ(EQ_SetLastGoodAgentId("a"), notInit);
    EXPECT_EQ(EQ_TestCommSettings(0, 0), notInit);
    EXPECT_EQ(EQ_TestCommSettingsFile(0, 0), notInit);
    EXPECT_EQ(EQ_ResetToPrimaryController(), notInit);
    EXPECT_EQ(EQ_SetAuthentication("u", "p"), notInit);
    EXPECT_EQ(EQ_SetObservanceResultFilter("a"), notInit);
    EXPECT_EQ(EQ_SetVulnerabilityResultFilter("a"), notInit);
    EXPECT_EQ(EQ_QueryVulnsByAddress(kStart, kEnd, "10.0.0.1", 0, 1, 0), notInit);
    EXPECT_EQ(EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 0), notInit);
    EXPECT_EQ(EQ_GetVulnsByAddress(0, 1, "10.0.0.1", 0, 1, 0), notInit);
    EXPECT_EQ(EQ_GetVulnsByGroup(0, 1, "g", 0, 1, 0), notInit);
    EXPECT_EQ(EQ_QueryObservancesByAddress(kStart, kEnd, "10.0.0.1", 0, nullptr, 0, 1, 0), notInit);
    EXPECT_EQ(EQ_QueryObservancesByGroup(kStart, kEnd, "g", 0, nullptr, 0, 1, 0), notInit);
    EXPECT_EQ(EQ_GetObservanceSummaryByAddress(0, 1, "10.0.0.1", 0, nullptr, 0, 1, 0), notInit);
    EXPECT_EQ(EQ_GetObservanceSummaryByGroup(0, 1, "g", 0, nullptr, 0, 1, 0), notInit);
    EXPECT_EQ(EQ_Allocate(16), nullptr);
    EQ_Free(nullptr);

    // Argument checks come before anything is loaded.
    for (const char* version : {"4.5", "5", "50", ""}) {
        EXPECT_EQ(EQ_Init(version, "l", "c", "i", nullptr, "n", "ns", nullptr), EQ_E_INVALID_ARG)
            << version;
    }
    EXPECT_EQ(EQ_Init("5.0", "l", "c", "i", nullptr, nullptr, "ns", nullptr), EQ_E_INVALID_ARG);
    EXPECT_EQ(EQ_Init("5.0", "l", "c", nullptr, nullptr, "n", "ns", nullptr), EQ_E_INVALID_ARG);
    time_t converted = 0;
    EXPECT_EQ(EQ_ConvertUTCToTime("2008-01-01T00:00:00Z", &converted), EQ_S_OK);
    EXPECT_EQ(converted, 1199145600);
    EXPECT_EQ(EQ_ConvertUTCToTime("2008-01-01T00:00:00+02:00", &converted), EQ_E_INVALID_ARG);
}

TEST_F(EventQueryClientTest, QueryChecksAndTraceTexts) {
    ASSERT_EQ(Init(), EQ_S_OK);
    EXPECT_EQ(Init(), EQ_I_ALREADY_INITIALIZED);
    void* block = EQ_Allocate(16);
    EXPECT_NE(block, nullptr);
    EQ_Free(block);

    EXPECT_EQ(EQ_QueryVulnsByGroup(kStart, kEnd, nullptr, 0, 1, 0), EQ_E_INVALID_ARG);
    EXPECT_EQ(CountLinesWith("QueryVulnsByGroup: A required input parameter is NULL."), 1u);
    const std::string tooLong(4096, '7');
    EXPECT_EQ(EQ_QueryObservancesByGroup(kStart, kEnd, tooLong.c_str(), 0, nullptr, 0, 1, 0),
              EQ_E_INVALID_ARG);
    EXPECT_EQ(EQ_QueryObservancesByAddress(kStart, kEnd, "10.0.0.1", 0, tooLong.c_str(), 0, 1, 0),
              EQ_E_INVALID_ARG);
    EXPECT_EQ(CountLinesWith("::QueryObservancesBy"), 2u);
    EXPECT_EQ(CountLinesWith("An input parameter is too large."), 2u);
    EXPECT_EQ(EQ_QueryVulnsByAddress(kStart, kEnd, "FE80::1", 0, 1, 0), EQ_E_INVALID_ARG);
    EXPECT_EQ(CountLinesWith("QueryVulnsByAddress: The address range was invalid."), 1u);
    EXPECT_EQ(EQ_GetObservanceSummaryByAddress(0, 1, "10.0.0.1", 0, "1, 2", 0, 1, 0),
              EQ_E_INVALID_ARG);
    EXPECT_EQ(CountLinesWith("QueryObservancesByAddress: The observance type was invalid."), 1u);
    if (sizeof(time_t) > 4) {
        EXPECT_EQ(EQ_GetVulnsByGroup(0, std::numeric_limits<time_t>::max(), "g", 0, 1, 0),
                  EQ_E_INVALID_ARG);
        EXPECT_EQ(CountLinesWith("GetVulnsByGroup: The time range was invalid."), 1u);
    }
    EXPECT_EQ(EQ_QueryVulnsByAddress(nullptr, kEnd, "10.0.0.1", 0, 1, 0), EQ_E_EXCEPTION);
    EXPECT_EQ(EQ_SetAuthentication(nullptr, "p"), EQ_E_EXCEPTION);
    EXPECT_EQ(CountLinesWith("Queueing"), 0u);  // nothing refused above got as far

    // The longest group id is accepted; with no server the request stays outstanding.
    const std::string longest(4095, '7');
    EXPECT_EQ(EQ_QueryVulnsByGroup(kStart, kEnd, longest.c_str(), 1, 1, 0), EQ_S_OK);
    EXPECT_EQ(CountLinesWith("Event Query request queued"), 1u);

    // Refused as outstanding, but described first, with the converted times.
    EXPECT_EQ(EQ_GetVulnsByAddress(0, 86400, "10.0.0.1-10.0.0.255", 1, 5, 0x1234),
              EQ_E_QUERY_OUTSTANDING);
    EXPECT_EQ(CountLinesWith("CEventQueryServices::QueryVulnsByAddress: Queueing vulnerabilities "
                             "by address request: \n\tTime Range: 1970-01-01T00:00:00.000000Z - "
                             "1970-01-02T00:00:00.000000Z\n\tAddress Range: 10.0.0.1-10.0.0.255\n"
                             "\tFixed: true\n\tCount: 5\n\tClient Data: 0x00001234"),
              1u);
    EXPECT_EQ(CountLinesWith("Event Query request queued"), 1u);

    EXPECT_EQ(EQ_ShutDown(), EQ_S_OK);
    EXPECT_EQ(EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 0), EQ_E_NOT_INITIALIZED);
    EXPECT_EQ(EQ_Allocate(16), nullptr);
}

TEST_F(EventQueryClientTest, SettingsReloadEnablesRequestDump) {
    ASSERT_EQ(Init("dumpEnabled = 0"), EQ_S_OK);
    const std::string reloaded = Write("reloaded.ini", "[event_query_services]\ndumpEnabled = 1\n");
    ASSERT_EQ(EQ_LoadLocalSettingsFile(reloaded.c_str()), EQ_S_OK);

    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(m_dir);
    EXPECT_EQ(EQ_SetVulnerabilityResultFilter("cve,,bid"), EQ_S_OK);
    EXPECT_EQ(EQ_SetAuthentication("user", "secret"), EQ_S_OK);
    const uint32_t status = EQ_QueryVulnsByGroup(kStart, kEnd, "g&1", 0, 25, 0);
    std::filesystem::current_path(previous);
    ASSERT_EQ(status, EQ_S_OK);

    std::ifstream dump(m_dir / "eq_dump_event_query_req.txt");
    const std::string text((std::istreambuf_iterator<char>(dump)),
                           std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("<get-vulnerabilities-by-group-request "), std::string::npos) << text;
    EXPECT_NE(text.find("group-id='g&amp;1'"), std::string::npos) << text;
    EXPECT_NE(text.find("count='25'"), std::string::npos) << text;
    EXPECT_NE(text.find("auth-token='user'"), std::string::npos) << text;
    EXPECT_NE(text.find("agent-id='a-1'"), std::string::npos) << text;
    const size_t cve = text.find("<result-item name='cve'/>");
    const size_t empty = text.find("<result-item name=''/>");
    const size_t bid = text.find("<result-item name='bid'/>");
    EXPECT_TRUE(cve < empty && empty < bid && bid != std::string::npos) << text;
}
