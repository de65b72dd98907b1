// The fixture of every integration test: a fresh folder with the settings files, the component's
// folder given to the library, and the journal cleared. TearDown shuts the library down and waits
// for every dispatch thread of the test to end, so that tests stay independent.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "EqApi.h"
#include "EventQueryTestServer.h"
#include "Journal.h"

namespace eqit {

inline constexpr char kAgentId[] = "0f8fad5b-d9cb-469f-a165-70867728950e";
inline constexpr char kAgentName[] = "integration-agent";
inline constexpr char kAgentNamespace[] = "urn:zav:agents";
inline constexpr char kStart[] = "2007-03-01T00:00:00Z";
inline constexpr char kEnd[] = "2007-03-02T00:00:00Z";
inline constexpr char kEventQueryNamespace[] =
    "http://schemas.zav.example.org/cml/Message/EventQueryMessages";

class CScratchDir {
public:
    CScratchDir();
    ~CScratchDir();
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

class CIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string WriteFile(const std::string& name, const std::string& text) const;
    // Writes local.ini ([event_query_services] with settings, [agent] with the agent id unless
    // withAgentId is false) and comm.ini with the servers in order.
    void WriteSettings(const std::vector<std::string>& urls, const std::string& settings = "",
                       bool withAgentId = true);
    // EQ_Init with the files of WriteSettings.
    uint32_t Init(const char* agentName = kAgentName);
    // WriteSettings, EQ_Init and every callback registered; fails the test on a nonzero status.
    void Start(const std::vector<std::string>& urls, const std::string& settings = "");
    static void RegisterAllCallbacks();

    // Waits until count callback events start with prefix.
    static bool WaitForEvents(const std::string& prefix, size_t count = 1);
    static bool WaitForTrace(uint32_t level, const std::string& function, const std::string& prefix,
                             size_t count = 1);
    static std::vector<std::string> Events() { return CJournal::Get().Events(); }

    CScratchDir m_dir;
    std::string m_localFile;
    std::string m_commFile;
};

// The answer with two items, result ids 1 and 2, the first with the pairs (a, 1) and (b, 2),
// in the vocabulary of the request; and the callbacks it produces for client data cd.
Reply TwoItemAnswer(const PostedRequest& posted);
std::vector<std::string> TwoItemSequence(uint32_t cd);

// Compares the listed fields of a posted request.
::testing::AssertionResult HasFields(const PostedRequest& posted,
                                     const std::map<std::string, std::string>& expected);

}  // namespace eqit
