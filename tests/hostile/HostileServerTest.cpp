// The library against a hostile Event Query Server on 127.0.0.1: one test per attack class, each
// in a process of its own (so that its peak memory is its own). Every answer must end in the
// documented outcome within a memory bound, with no library thread left after EQ_ShutDown and a
// clean exit. Shutdown during a post is LifecycleTest's.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <thread>

#include "HostileAnswers.h"
#include "IntegrationTest.h"
#include "ThreadCount.h"

namespace eqit {
namespace {

constexpr std::size_t npos = std::string::npos;
constexpr char kPair[] = "<result-data";

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // the sanitizers' own memory would swamp the bound
#else
constexpr bool kSanitized = false;
#endif

// Serves one body for every post straight from memory (a copy would swell the peak measured).
class CAnswerServer {
public:
    explicit CAnswerServer(const std::string& body) : m_body(body) {
        m_server.Post("/zav/event_query_services", [this](const httplib::Request&,
                                                          httplib::Response& response) {
            response.set_content_provider(
                m_body.size(), "application/x-zav-cml-data; charset=UTF-8",
                [this](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    return sink.write(m_body.data() + offset, length);
                });
        });
        m_iPort = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~CAnswerServer() {
        m_server.stop();
        m_thread.join();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_iPort); }
    // The threads of this process once the server's own are all up.
    std::size_t ThreadsWithServer() {
        httplib::Client("127.0.0.1", m_iPort).Get("/");
        return zavTest::ThreadCount();
    }

private:
    const std::string& m_body;
    httplib::Server m_server;
    std::thread m_thread;
    int m_iPort = 0;
};

// Peak and current resident memory of this process, in bytes; writing 5 to clear_refs starts a
// new peak.
std::size_t StatusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::stoul(line.substr(std::strlen(field))) * 1024;
    }
    return 0;
}
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

std::atomic<std::size_t> g_uPairs{0};
int32_t CountPair(uint32_t, const char*, const char*, const char*) {
    ++g_uPairs;
    return 0;
}

struct CCase {
    const char* answerClass;
    std::size_t size;
    const char* expected;  // text of the level-1 line naming the limit; null: read in full
    const char* settings = "";
    const char* label = nullptr;  // tells two cases of one class apart
    bool itemByItem = false;      // a valid answer of many items, read as it is parsed
};

class HostileServerTest : public CIntegrationTest, public ::testing::WithParamInterface<CCase> {};

TEST_P(HostileServerTest, EndsInItsDocumentedOutcome) {
    const CCase& test = GetParam();
    g_uPairs = 0;
    const zavHostile::CAnswerClass* answerClass = zavHostile::FindAnswerClass(test.answerClass);
    ASSERT_NE(nullptr, answerClass);
    // Many blocks end with one empty response, so that a complete read shows in the callbacks.
    // Answers read in full run every callback: under a sanitizer, a smaller one says the same.
    const bool read = test.expected == nullptr;
    std::string body = answerClass->make(kSanitized && read ? test.size / 4 : test.size);
    CAnswerServer server(body);
    WriteSettings({server.Url()}, std::string("shutdownTimeout = 1000\n") + test.settings);
    const std::size_t threads = server.ThreadsWithServer();
    // Errors and warnings only: the debug level would copy every answer into the log.
    ASSERT_EQ(0u, Init(kAgentName, CJournal::TraceLog(false)));
    // Only the set brackets go to the journal: an event per pair would make a big answer's
    // delivery cost more than its reading (much more under a sanitizer).
    ASSERT_EQ(0u, Eq().EQ_RegisterErrorCallback(&CJournal::OnError));
    ASSERT_EQ(0u, Eq().EQ_RegisterResultSetCallbacks(&CJournal::OnBeginSet, nullptr, &CountPair,
                                                     nullptr, &CJournal::OnEndSet));

    const std::size_t before = StatusBytes("VmRSS:");
    ResetPeak();
    ASSERT_EQ(0u, Eq().EQ_QueryVulnsByGroup(kStart, kEnd, "g", 0, 1, 5));
    if (read) {
        EXPECT_TRUE(CJournal::Get().WaitForEvents("EndSet(5)"));
        EXPECT_EQ(0u, CJournal::Get().CountEvents("Error("));
        // Every pair of the answer reached the application.
        std::size_t pairs = 0;
        for (auto at = body.find(kPair); at != npos; at = body.find(kPair, at + 1)) ++pairs;
        EXPECT_EQ(pairs, g_uPairs.load());
    } else {
        EXPECT_TRUE(CJournal::Get().WaitForEvents("Error(0xC75802C1,1)"));
        const std::vector<std::string> lines = CJournal::Get().ErrorLines();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(test.expected) != npos;
        })) << ::testing::PrintToString(lines);
        EXPECT_EQ(0u, CJournal::Get().CountEvents("BeginSet("));
    }
    const double grown = static_cast<double>(StatusBytes("VmHWM:") - before);
    const double size = static_cast<double>(body.size());
    if (!kSanitized) {
        // The budget of the read (14 x size + 32 MiB) and the received body. An answer read item
        // by item never has all of its items in its tree at once, which would take twice the
        // tighter bound.
        EXPECT_LT(grown, test.itemByItem ? 8.0 * size + 8e6 : 16.0 * size + 32e6);
    }

    EXPECT_EQ(0u, Eq().EQ_ShutDown());
    EXPECT_TRUE(zavTest::WaitForThreadCount(threads))
        << "a library thread is still running after EQ_ShutDown";
}

// Sizes as found in the field: the attack classes at the size that hurt, or above a limit.
INSTANTIATE_TEST_SUITE_P(
    AttackClasses, HostileServerTest,
    ::testing::Values(CCase{"valid", 8000000, nullptr, "", nullptr, true},
                      CCase{"dense-valid", 4000000, nullptr, "", nullptr, true},
                      CCase{"dense-valid", 12000000, nullptr, "", "12MB", true},
                      CCase{"nested-messages", 2000000, "maxElementDepth"},
                      CCase{"doctype-utf8", 0, "invalid document structure"},
                      CCase{"doctype-utf16le", 0, "invalid document structure"},
                      CCase{"doctype-utf16be", 0, "invalid document structure"},
                      CCase{"doctype-utf16-bom", 0, "invalid document structure"},
                      CCase{"doctype-ucs4", 0, "invalid document structure"},
                      CCase{"doctype-ebcdic", 0, "invalid document structure"},
                      CCase{"entity-bomb-utf16", 0, "invalid document structure"},
                      CCase{"deep-nesting", 7000000, "maxElementDepth"},
                      // Seven levels to the item, then size / 7: depth 256 (the limit) and 257.
                      CCase{"deep-nesting", 1743, nullptr, "", "depth256"},
                      CCase{"deep-nesting", 1750, "maxElementDepth", "", "depth257"},
                      CCase{"many-attributes", 1300000, "exceeds the limit"},
                      // Name and value, then a0 ... : 1024 attributes (the limit) and 1025.
                      CCase{"many-attributes", 8088, nullptr, "", "1024"},
                      CCase{"many-attributes", 8097, "maxAttributes", "", "1025"},
                      CCase{"many-blocks", 7000000, nullptr},
                      // Extension content, skipped as it is parsed; the most pairs per byte.
                      CCase{"tiny-elements", 8000000, nullptr},
                      CCase{"unknown-child-items", 6600000, nullptr, "", nullptr, true},
                      CCase{"tiny-pairs", 7000000, nullptr},
                      CCase{"huge-value", 50000000, "maxValueLength"},
                      CCase{"many-items", 4000000, "exceeds the limit"},
                      CCase{"valid", 2000000, "maxResponseSize", "maxResponseSize = 1000000\n"}),
    [](const ::testing::TestParamInfo<CCase>& info) {
        std::string name = info.param.answerClass;
        for (char& c : name) c = c == '-' ? '_' : c;
        if (info.param.label != nullptr) name += std::string("_") + info.param.label;
        return name + (info.param.settings[0] != '\0' ? "_over_limit" : "");
    });

}  // namespace
}  // namespace eqit
