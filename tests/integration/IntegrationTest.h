// The fixture of every integration test: a fresh current directory for the settings and dump
// files, the component's folder given to the library, and the journal cleared. TearDown shuts the
// library down and checks that its service object is gone, so that tests stay independent.
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

class CIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // local.ini ([event_query_services] with settings, [agent] with the agent id) and comm.ini
    // with the servers in order.
    void WriteSettings(const std::vector<std::string>& urls, const std::string& settings = "");
    // EQ_Init with the files of WriteSettings.
    uint32_t Init(const char* agentName = kAgentName,
                  const asTraceLog* traceLog = CJournal::TraceLog());
    // WriteSettings, EQ_Init and every callback registered; fails the test on a nonzero status.
    void Start(const std::vector<std::string>& urls, const std::string& settings = "");
    // Every callback registered: the first nonzero status, or 0.
    static uint32_t RegisterAllCallbacks();

    static bool WaitForEvents(const std::string& prefix, size_t count = 1) {
        return CJournal::Get().WaitForEvents(prefix, count);
    }
    static std::vector<std::string> Events() { return CJournal::Get().Events(); }

    std::filesystem::path m_dir;
    std::string m_localFile;
    std::string m_commFile;

private:
    std::filesystem::path m_previousDir;
    std::size_t m_uThreadsAtStart = 0;
};

// Whether the session configuration component is loaded: it is unloaded with the last service
// object. Waiting for the unload polls, as nothing announces it.
bool ComponentLoaded();
bool WaitForComponentUnloaded();

// The answer with two items, result ids 1 and 2, the first with the pairs (a, 1) and (b, 2),
// in the vocabulary of the request; and the callbacks it produces for client data cd.
Reply TwoItemAnswer(const PostedRequest& posted);
std::vector<std::string> TwoItemSequence(uint32_t cd);

// Compares the fields of a posted request given as blank-separated "name=value" pairs.
::testing::AssertionResult HasFields(const PostedRequest& posted, const std::string& expected);

}  // namespace eqit
