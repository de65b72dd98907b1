// EQ_ShutDown waits for the dispatch thread, not for calls running in other threads. The library is
// linked statically here, so the test can hold a reference to the service object exactly as a call
// running in another thread does.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "ThreadCount.h"
#include "event_query/EventQueryInstance.h"
#include "security/zavTrustedKeys.h"
#include "services/SignedComponent.h"
#include "services/TraceCapture.h"
#include "services/mslLoader.h"
#include "services/mslLoader_zavSessionConfigSvcs.h"
#include "zavEventQuerySvcs.h"
#include "zavToolsLib/asThreadingDefault.h"

namespace {

using std::chrono::seconds;

// A gate the test opens; every wait on it is bounded so that a fault fails instead of hanging.
struct CLatch {
    std::promise<void> opened;
    std::shared_future<void> future = opened.get_future().share();
    void Open() { opened.set_value(); }
    bool Wait() const { return future.wait_for(seconds(30)) == std::future_status::ready; }
};

class ShutDownTest : public ::testing::Test {
protected:
    void SetUp() override {
        TraceCapture::Clear();
        ASSERT_TRUE(zavTest::CopySignedComponent(m_dir, m_key));
        EQ_SetMSLLibPath(m_dir.Get().c_str());
        m_uThreadsAtStart = zavTest::ThreadCount();
    }
    void TearDown() override {
        EQ_ShutDown();
        zavTest::WaitForThreadCount(m_uThreadsAtStart);
        EQ_SetMSLLibPath("");
        zavSecurity::ClearAddedTrustedKeys();
    }
    // EQ_Init with a server that is never asked.
    uint32_t Init(const std::string& settings, const asTraceLog* traceLog = nullptr) {
        const std::string local = m_dir.Path("local.ini"), comm = m_dir.Path("comm.ini");
        std::ofstream(local) << "[event_query_services]\n"
                             << settings
                             << "[agent]\nagent_id = 0f8fad5b-d9cb-469f-a165-70867728950e\n";
        std::ofstream(comm) << "[servers]\nurl = http://127.0.0.1:1/\n";
        return EQ_Init("5.0", local.c_str(), comm.c_str(), "event_query_tests", nullptr, "agent",
                       "urn:test", traceLog);
    }
    zavTest::CScratchDir m_dir;
    zavSecurity::EvpPkeyPtr m_key;
    std::size_t m_uThreadsAtStart = 0;
};

// A call in progress elsewhere keeps the object alive by its reference; EQ_ShutDown waits for the
// dispatch thread only, and the call's last release unloads the component.
TEST_F(ShutDownTest, DoesNotWaitForCallsInOtherThreads) {
    ASSERT_EQ(0u, Init("shutdownTimeout = 60000\n"));
    CLatch held, release;
    std::thread call([&] {
        CEventQueryServices* services = zavEventQuery::AcquireInstance();
        ASSERT_NE(nullptr, services);
        zavEventQuery::CInstanceReference reference(*services);
        held.Open();
        release.Wait();
    });
    ASSERT_TRUE(held.Wait());
    // In a thread of its own, so that a wait for the call fails instead of hanging.
    auto done = std::async(std::launch::async, [] { return EQ_ShutDown(); });
    const bool returned = done.wait_for(seconds(20)) == std::future_status::ready;
    release.Open();
    call.join();
    EXPECT_TRUE(returned) << "EQ_ShutDown waited for an unrelated call";
    EXPECT_EQ(0u, done.get());
    EXPECT_EQ(0, zavServices::GetZavSessionConfigSvcsLoadCount());
}

// Two sessions share one trace log: an EQ_Init that fails while another one is still on its way
// to publication must not silence the log of the one that goes on.
TEST_F(ShutDownTest, AFailedInitLeavesASharedTraceLogOpen) {
    const asThreadingTable* threading = zavToolsLib::zavGetDefaultThreadingTable();
    ASSERT_EQ(0u, threading->Lock(AS_PROCESS_LOCK));  // holds the first one back at publication
    auto first = std::async(std::launch::async, [&] { return Init("", &TraceCapture::g_log); });
    const bool started = TraceCapture::WaitFor("Event Query Services initialized.");
    const uint32_t failed = EQ_Init("5.0", m_dir.Path("missing.ini").c_str(), "comm.ini", "t",
                                    nullptr, "agent", "urn:test", &TraceCapture::g_log);
    threading->Unlock(AS_PROCESS_LOCK);
    ASSERT_TRUE(started);
    EXPECT_EQ(0xC7590003u, failed);
    ASSERT_EQ(0u, first.get());
    ASSERT_EQ(0u, EQ_RegisterErrorCallback(nullptr));
    EXPECT_EQ(1u, TraceCapture::Count("Registered error callback: false"));
}

// A stopping service still answers as itself: a call keeps its own status but does not reach
// the component let go, a destination that cannot be removed is warned about, and a read cut
// short still ends with its processed line.
TEST_F(ShutDownTest, WhileStopping) {
    ASSERT_EQ(0u, Init("shutdownTimeout = 100\n", &TraceCapture::g_log));  // stopped twice
    CEventQueryServices* services = zavEventQuery::AcquireInstance();
    ASSERT_NE(nullptr, services);
    zavEventQuery::CInstanceReference reference(*services);
    const int32_t destination = services->GetDestinationId();
    ASSERT_EQ(0u, SCS_CALL(SCS_RemoveDestination)(destination));
    services->ShutDown();
    EXPECT_EQ(1u,
              TraceCapture::Count("CBaseServices::Init(): Unable to remove default destination " +
                                      std::to_string(destination),
                                  EQ_TRACE_WARNING, true));
    const char* time = "2007-03-01T00:00:00Z";
    EXPECT_EQ(EQ_E_INVALID_ARG, EQ_QueryVulnsByGroup(time, time, nullptr, 0, 1, 1));
    EXPECT_EQ(EQ_E_NOT_INITIALIZED, EQ_QueryVulnsByGroup(time, time, "g", 0, 1, 1));
    EXPECT_EQ(EQ_E_NOT_INITIALIZED, EQ_SetLanguage("en"));
    EXPECT_EQ(0u, services->ProcessResponse("<zav/>", 6));
    EXPECT_EQ(1u, TraceCapture::Count("CEventQueryServices::ProcessResponse: Response processed"));
}

}  // namespace
