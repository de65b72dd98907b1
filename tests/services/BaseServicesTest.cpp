// CBaseServices with the real session configuration component, posting to HTTP servers that the
// test runs on 127.0.0.1.
#include <gtest/gtest.h>

#include <vector>

#include "ThreadCount.h"
#include "event_query/eqRetryState.h"
#include "scs/TestServer.h"  // also the standard headers used here
#include "services/BaseServices.h"
#include "services/SignedComponent.h"
#include "services/TraceCapture.h"
#include "services/mslLoader.h"
#include "services/mslLoader_zavSessionConfigSvcs.h"
#include "zavToolsLib/asThreadingDefault.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kPath = "/zav/event_query_services";
constexpr const char* kBody = "<request/>";

// Everything the test, the dispatch thread and the server threads share, under one mutex.
std::mutex g_mutex;
std::condition_variable g_changed;

void Update(const std::function<void()>& change) {
    std::lock_guard<std::mutex> lock(g_mutex);
    change();
    g_changed.notify_all();
}
bool WaitFor(const std::function<bool()>& ready) {
    std::unique_lock<std::mutex> lock(g_mutex);
    return g_changed.wait_for(lock, std::chrono::seconds(20), ready);
}

// Answers every post with a fixed status, or holds it until released.
struct TestServer : CTestServer {
    explicit TestServer(int status, bool hang = false) {
        Http().Post(kPath, [this, status, hang](const httplib::Request& request,
                                                httplib::Response& response) {
            Record(request, hang);
            response.status = status;
        });
        Start();
    }
};

struct Attempt {
    Clock::time_point at;
    int32_t index;
    uint32_t status;
    std::thread::id thread;
};

// Posts one body until a server takes it, recording every attempt.
class PostingService : public CBaseServices {
public:
    uint32_t Queue() { return DispatchPendingData(); }
    uint32_t SendPendingData(int32_t serverIndex) override {
        Attempt attempt{Clock::now(), serverIndex, 0, std::this_thread::get_id()};
        char* response = nullptr;
        uint32_t length = 0;
        attempt.status = SCS_CALL(SCS_PostData)(
            m_iDestinationId, serverIndex, kPath, 0, "application/x-zav-cml-data; charset=UTF-8",
            kBody, static_cast<uint32_t>(strlen(kBody)), GetTimeouts(), &response, &length);
        SCS_CALL(SCS_Free)(response);
        Update([&] { m_attempts.push_back(attempt); });
        return attempt.status;
    }
    eqRetryState m_retry;
    std::vector<Attempt> m_attempts;
};

class BaseServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(zavTest::CopySignedComponent(m_dir, m_key));
        zavServices::SetMSLLoaderLibPath(m_dir.Get().c_str());
        TraceCapture::Clear();
        m_uThreadsAtStart = zavTest::ThreadCount();
    }
    void TearDown() override {
        // A dispatch thread may still be returning after it let go of its service.
        zavTest::WaitForThreadCount(m_uThreadsAtStart);
        zavServices::SetMSLLoaderLibPath("");
        zavSecurity::ClearAddedTrustedKeys();
    }
    // An initialised service holding the test's reference, or null; m_pReleased tells when it is
    // gone.
    PostingService* Start(const std::string& settings, const std::vector<TestServer*>& servers,
                          const asThreadingTable* threading) {
        std::ofstream(m_dir.Path("local.ini")) << "[event_query_services]\n" << settings;
        std::string comm = "[servers]\n";
        for (const TestServer* server : servers) comm += "url = " + server->Url() + "\n";
        std::ofstream(m_dir.Path("comm.ini")) << comm;
        auto service = std::make_unique<PostingService>();
        m_pReleased = service->GetReleaseSignal();
        const uint32_t status =
            service->Init("Event Query Server", &service->m_retry, threading, &TraceCapture::g_log,
                          "5.0", m_dir.Path("local.ini").c_str(), m_dir.Path("comm.ini").c_str(),
                          "services_tests", nullptr, true, false);
        EXPECT_EQ(0u, status);
        if (status != 0) return nullptr;
        service->AddRef();
        return service.release();
    }

    zavTest::CScratchDir m_dir;
    zavSecurity::EvpPkeyPtr m_key;
    std::size_t m_uThreadsAtStart = 0;
    std::shared_ptr<CBaseServices::CReleaseSignal> m_pReleased;
};

bool Released(const std::shared_ptr<CBaseServices::CReleaseSignal>& pSignal) {
    return pSignal->WaitUntil(Clock::now() + std::chrono::seconds(20));
}

TEST_F(BaseServicesTest, FailedPostsBackOffByDoublingThenMoveToTheNextServer) {
    TestServer failing(500);
    TestServer answering(200);
    PostingService* service =
        Start("retryInterval = 100\nmaxServerRetry = 4\nconnectTimeout = 2000\n",
              {&failing, &answering}, zavToolsLib::zavGetDefaultThreadingTable());
    ASSERT_NE(nullptr, service);

    ASSERT_EQ(0u, service->Queue());
    ASSERT_TRUE(WaitFor([&] {  // until a post is taken
        return !service->m_attempts.empty() && service->m_attempts.back().status == 0;
    }));
    std::vector<Attempt> attempts;
    Update([&] { attempts = service->m_attempts; });
    ASSERT_EQ(5u, attempts.size());
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(i < 4 ? 0 : 1, attempts[i].index);
        EXPECT_EQ(i < 4 ? 0xC7590008u : 0u, attempts[i].status);  // HTTP error status, then done
    }
    // The dispatch thread keeps the retry state's waits of 100, 200 and 400 ms (a wait never ends
    // early; svcRetryStateTest checks the sequence itself).
    for (size_t i = 0; i < 3; ++i)
        EXPECT_GE(attempts[i + 1].at - attempts[i].at, std::chrono::milliseconds(100 << i)) << i;
    service->ShutDown();
    service->Release();
    ASSERT_TRUE(Released(m_pReleased));
}

TEST_F(BaseServicesTest, ShutDownEndsAHangingPost) {
    TestServer hanging(200, true);
    PostingService* service =
        Start("shutdownTimeout = 5000\n", {&hanging}, zavToolsLib::zavGetDefaultThreadingTable());
    ASSERT_NE(nullptr, service);
    ASSERT_EQ(0u, service->Queue());
    ASSERT_TRUE(hanging.WaitForRequests(1));

    // The post in progress ends with the shutdown, long before the server would answer, so the
    // dispatch thread has failed it before ShutDown returns, and the object unloads the component
    // on its way out.
    service->ShutDown();
    Update([&] { EXPECT_EQ(1u, service->m_attempts.size()); });
    service->Release();
    ASSERT_TRUE(Released(m_pReleased));
    EXPECT_EQ(0, zavServices::GetZavSessionConfigSvcsLoadCount());
    hanging.Release();
}

TEST_F(BaseServicesTest, WithoutThreadingTableSendsInTheCallersThread) {
    TestServer answering(200);
    PostingService* service = Start("", {&answering}, nullptr);
    ASSERT_NE(nullptr, service);
    EXPECT_EQ(0u, service->Queue());
    ASSERT_EQ(1u, service->m_attempts.size());
    EXPECT_EQ(std::this_thread::get_id(), service->m_attempts[0].thread);
    service->ShutDown();
    service->Release();
    EXPECT_TRUE(m_pReleased->WaitUntil(Clock::now()));

    service = Start("", {}, nullptr);
    ASSERT_NE(nullptr, service);
    EXPECT_EQ(0xC7210009u, service->Queue());
    service->Release();
}

}  // namespace
