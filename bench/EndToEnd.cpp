// Whole queries through the shared object against an Event Query Server on 127.0.0.1, one host
// thread and one query at a time, beside the same posts made with libcurl alone (a new easy
// handle per post with the same headers and body, as the component makes them), from the host's
// thread and from a second thread that the host wakes and waits for.
//   bench_end_to_end [benchmark flags]
//   bench_end_to_end --peak-rss N    peak memory of one query with an N-item answer, the server
//                                    running in a child process so that only the host counts
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "HostileAnswers.h"
#include "zavEventQuerySvcs.h"

namespace {

// ---- The server ---------------------------------------------------------------------------------

class CServer {
public:
    CServer() {
        m_server.Post("/zav/event_query_services",
                      [this](const httplib::Request& request, httplib::Response& response) {
                          {
                              std::lock_guard<std::mutex> lock(m_mutex);
                              if (m_strLastPost.empty()) m_strLastPost = request.body;
                          }
                          response.set_content(*m_pAnswer, "application/x-zav-cml-data");
                      });
        // As eq-server does: with Nagle on, every answer on a kept-alive connection would wait
        // for the client's delayed ACK.
        m_server.set_tcp_nodelay(true);
        m_iPort = m_server.bind_to_any_port("127.0.0.1");
        // Bound and listening already: connections wait until the loop accepts them.
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~CServer() {
        m_server.stop();
        m_thread.join();
    }
    // Set before any post that gets it.
    void SetAnswer(const std::string* answer) { m_pAnswer = answer; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_iPort); }
    std::string LastPost() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_strLastPost;
    }

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_iPort = 0;
    const std::string* m_pAnswer = nullptr;
    std::mutex m_mutex;
    std::string m_strLastPost;
};

// ---- The library, as a host uses it ----------------------------------------------------------

std::mutex g_mutex;
std::condition_variable g_done;
bool g_bAnswered = false;
uint32_t g_uFailure = 0;
std::size_t g_uItems = 0;

int32_t OnError(uint32_t status, int32_t) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_uFailure = status;
    g_bAnswered = true;
    g_done.notify_one();
    return 0;
}
int32_t OnBeginSet(uint32_t) { return 0; }
int32_t OnBegin(uint32_t, const char*) {
    ++g_uItems;
    return 0;
}
int32_t OnData(uint32_t, const char*, const char*, const char*) { return 0; }
int32_t OnEnd(uint32_t, const char*) { return 0; }
int32_t OnEndSet(uint32_t) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_bAnswered = true;
    g_done.notify_one();
    return 0;
}

class CLibrary {
public:
    explicit CLibrary(const std::string& url) {
        std::string pattern = (std::filesystem::temp_directory_path() / "eq_bench_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) Fail("no temporary folder");
        m_dir = pattern;
        const std::string local = (m_dir / "local.ini").string();
        const std::string comm = (m_dir / "comm.ini").string();
        std::ofstream(local) << "[event_query_services]\nshutdownTimeout = 5000\n"
                             << "[agent]\nagent_id = 0f8fad5b-d9cb-469f-a165-70867728950e\n";
        std::ofstream(comm) << "[servers]\nurl = " << url << "\n";
        EQ_SetMSLLibPath(ZAV_BENCH_SCS_DIR);
        const uint32_t status = EQ_Init("5.0", local.c_str(), comm.c_str(), "eq_bench", nullptr,
                                        "eq-bench", "urn:zav:eq-bench", nullptr);
        if (status != 0) Fail("EQ_Init failed");
        EQ_RegisterErrorCallback(&OnError);
        EQ_RegisterResultSetCallbacks(&OnBeginSet, &OnBegin, &OnData, &OnEnd, &OnEndSet);
    }
    ~CLibrary() {
        EQ_ShutDown();
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    // One query, returning when its answer has been delivered.
    void Query() {
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            g_bAnswered = false;
        }
        const uint32_t status = EQ_QueryVulnsByAddress(
            "2025-12-05T00:00:00Z", "2025-12-06T00:00:00Z", "10.0.1.1-10.0.1.255", 0, 0, 7);
        if (status != 0) Fail("the query was refused");
        std::unique_lock<std::mutex> lock(g_mutex);
        g_done.wait(lock, [] { return g_bAnswered; });
        if (g_uFailure != 0) Fail("the query failed");
    }
    [[noreturn]] static void Fail(const char* what) {
        std::fprintf(stderr, "%s\n", what);
        std::exit(1);
    }

private:
    std::filesystem::path m_dir;
};

// ---- libcurl alone ------------------------------------------------------------------------------

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

void CurlPost(const std::string& url, const std::string& body) {
    CURL* handle = curl_easy_init();
    curl_slist* headers =
        curl_slist_append(nullptr, "Content-Type: application/x-zav-cml-data; charset=UTF-8");
    headers = curl_slist_append(headers, "Expect:");
    std::string answer;
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    if (curl_easy_perform(handle) != CURLE_OK || answer.empty()) CLibrary::Fail("curl failed");
    curl_slist_free_all(headers);
    curl_easy_cleanup(handle);
}

// The same posts made by a second thread that the host wakes and waits for, as a host waits for
// the library's dispatch thread: what any client that posts from a thread of its own can reach.
class CPostingThread {
public:
    CPostingThread() : m_thread([this] { Run(); }) {}
    ~CPostingThread() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bStop = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    void Post(const std::string& url, const std::string& body) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_pUrl = &url;
        m_pBody = &body;
        m_bPosted = false;
        m_wake.notify_one();
        m_done.wait(lock, [this] { return m_bPosted; });
    }

private:
    void Run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_bStop || m_pUrl != nullptr; });
            if (m_bStop) return;
            const std::string& url = *m_pUrl;
            const std::string& body = *m_pBody;
            m_pUrl = nullptr;
            lock.unlock();
            CurlPost(url, body);
            lock.lock();
            m_bPosted = true;
            m_done.notify_one();
        }
    }
    std::mutex m_mutex;
    std::condition_variable m_wake, m_done;
    const std::string* m_pUrl = nullptr;
    const std::string* m_pBody = nullptr;
    bool m_bPosted = false;
    bool m_bStop = false;
    std::thread m_thread;  // last: starts once the members above exist
};

// ---- Benchmarks ---------------------------------------------------------------------------------

CServer* g_pServer = nullptr;
CLibrary* g_pLibrary = nullptr;
std::string g_strRequest;  // the library's own request, posted again by libcurl alone

const std::string& Answer(int items) {
    static const std::string empty = zavHostile::ValidAnswerWithItems(0);
    static const std::string thousand = zavHostile::ValidAnswerWithItems(1000);
    return items == 0 ? empty : thousand;
}

void BM_LibraryQuery(benchmark::State& state) {
    g_pServer->SetAnswer(&Answer(static_cast<int>(state.range(0))));
    for (auto _ : state) g_pLibrary->Query();
    state.SetItemsProcessed(state.iterations());
}
void BM_CurlAlonePost(benchmark::State& state) {
    g_pServer->SetAnswer(&Answer(static_cast<int>(state.range(0))));
    const std::string url = g_pServer->Url() + "/zav/event_query_services";
    for (auto _ : state) CurlPost(url, g_strRequest);
    state.SetItemsProcessed(state.iterations());
}
void BM_CurlPostFromThread(benchmark::State& state) {
    g_pServer->SetAnswer(&Answer(static_cast<int>(state.range(0))));
    const std::string url = g_pServer->Url() + "/zav/event_query_services";
    CPostingThread poster;
    for (auto _ : state) poster.Post(url, g_strRequest);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LibraryQuery)->Arg(0)->Arg(1000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CurlAlonePost)->Arg(0)->Arg(1000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CurlPostFromThread)->Arg(0)->UseRealTime()->Unit(benchmark::kMicrosecond);

// ---- Peak memory --------------------------------------------------------------------------------

long StatusKilobytes(const char* key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
    }
    return -1;
}

int PeakRss(std::size_t items) {
    int toParent[2], toChild[2];
    if (pipe(toParent) != 0 || pipe(toChild) != 0) return 1;
    const pid_t child = fork();
    if (child == 0) {
        close(toChild[1]);
        close(toParent[0]);
        const std::string answer = zavHostile::ValidAnswerWithItems(items);
        CServer server;
        server.SetAnswer(&answer);
        const std::string url = server.Url();
        if (write(toParent[1], url.c_str(), url.size() + 1) < 0) _exit(1);
        char stop;
        (void)!read(toChild[0], &stop, 1);  // returns when the parent closes its end
        _exit(0);
    }
    close(toChild[0]);
    close(toParent[1]);
    char url[64] = "";
    for (std::size_t got = 0; got < sizeof url - 1;) {
        const ssize_t n = read(toParent[0], url + got, sizeof url - 1 - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
        if (url[got - 1] == '\0') break;
    }
    const std::size_t answerBytes = zavHostile::ValidAnswerWithItems(items).size();
    {
        // No warm-up query: the allocator would keep its memory, hiding the growth.
        CLibrary library(url);
        std::ofstream("/proc/self/clear_refs") << "5";  // the peak restarts from here
        const long before = StatusKilobytes("VmRSS:");
        library.Query();
        const long peak = StatusKilobytes("VmHWM:");
        const double grown = static_cast<double>(peak - before) * 1024;
        std::printf(
            "peak-rss items %zu answer %zu bytes: peak RSS %.1f MB, +%.1f MB during the "
            "query = %.2f x the answer\n",
            g_uItems, answerBytes, static_cast<double>(peak) / 1024, grown / 1e6,
            grown / static_cast<double>(answerBytes));
    }
    close(toChild[1]);
    waitpid(child, nullptr, 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--peak-rss") == 0) {
        return PeakRss(std::strtoul(argv[2], nullptr, 10));
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    {
        CServer server;
        server.SetAnswer(&Answer(0));
        CLibrary library(server.Url());
        library.Query();
        g_strRequest = server.LastPost();
        g_pServer = &server;
        g_pLibrary = &library;
        benchmark::RunSpecifiedBenchmarks();
        g_pServer = nullptr;
        g_pLibrary = nullptr;
    }
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}
