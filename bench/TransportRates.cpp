// eq-server and the library on the transport deployments use: HTTPS, authentication, kept-alive
// connections, a wide-area round trip (a delay proxy on 127.0.0.1). Every figure is a ratio of two
// rates measured in the same run, so that the load of a shared machine cancels out:
//  (a) one kept-alive HTTPS connection / a new HTTP connection per request, answers per second
//  (b) authenticated / unauthenticated answers per second (both HTTPS, kept alive)
//  (c) server processor time per refused password, in ms, in a burst of wrong passwords
//  (d) the library / libcurl with one reused handle, a small answer, at a 20 ms round trip,
//      over HTTPS with authentication and over plain HTTP
//   bench_transport_rates [--seconds S] [--queries N] [--rtt MS]
// Not run by the tests: scripts/bench runs it.
#include <curl/curl.h>
#include <fcntl.h>
#include <httplib.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "DelayProxy.h"
#include "Processes.h"
#include "zavEventQuerySvcs.h"

namespace {

using Clock = std::chrono::steady_clock;
using eqtest::CServerProcess;
using eqtest::CTempDir;
using eqtest::RunProcess;

constexpr char kPath[] = "/zav/event_query_services";
constexpr char kUser[] = "bench-agent";
constexpr char kPassword[] = "correct horse battery staple";

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "bench_transport_rates: %s\n", what.c_str());
    std::exit(1);
}

// ---- the library, as a host uses it
// --------------------------------------------------------------

std::mutex g_mutex;
std::condition_variable g_done;
bool g_answered = false;
uint32_t g_failure = 0;

int32_t OnError(uint32_t status, int32_t) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_failure = status;
    g_answered = true;
    g_done.notify_one();
    return 0;
}
int32_t OnEndSet(uint32_t) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_answered = true;
    g_done.notify_one();
    return 0;
}

class CLibrary {
public:
    CLibrary(const CTempDir& dir, const std::string& url, const std::string& caFile,
             bool authenticate) {
        const std::string local = dir.Path() + "/local.ini", comm = dir.Path() + "/comm.ini";
        std::ofstream(local) << "[event_query_services]\nshutdownTimeout = 5000\n"
                             << "[agent]\nagent_id = 0f8fad5b-d9cb-469f-a165-70867728950e\n";
        std::ofstream(comm) << "[servers]\nurl = " << url << "\n[transport]\nca_file = " << caFile
                            << "\n";
        EQ_SetMSLLibPath(ZAV_BENCH_SCS_DIR);
        if (EQ_Init("5.0", local.c_str(), comm.c_str(), "eq_bench", nullptr, "eq-bench",
                    "urn:zav:eq-bench", nullptr) != 0) {
            Fail("EQ_Init failed");
        }
        EQ_RegisterErrorCallback(&OnError);
        EQ_RegisterResultSetCallbacks(nullptr, nullptr, nullptr, nullptr, &OnEndSet);
        if (authenticate) EQ_SetAuthentication(kUser, kPassword);
    }
    ~CLibrary() { EQ_ShutDown(); }
    CLibrary(const CLibrary&) = delete;
    CLibrary& operator=(const CLibrary&) = delete;

    // One query, returning when its answer has been delivered.
    static void Query() {
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            g_answered = false;
            g_failure = 0;
        }
        if (EQ_QueryVulnsByAddress("2025-12-05T00:00:00Z", "2025-12-06T00:00:00Z",
                                   "10.0.1.1-10.0.1.16", 0, 0, 7) != 0) {
            Fail("the query was refused");
        }
        std::unique_lock<std::mutex> lock(g_mutex);
        g_done.wait(lock, [] { return g_answered; });
        if (g_failure != 0) Fail("a query failed with status " + std::to_string(g_failure));
    }
};

// The library's own request documents, caught by a server that only records them.
std::string CaptureRequest(const CTempDir& dir, const char* password) {
    httplib::Server server;
    std::string body;
    server.Post(kPath, [&](const httplib::Request& request, httplib::Response& response) {
        body = request.body;
        response.status = 500;  // a failure ends the query at once
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_answered = false;
    }
    {
        CLibrary library(dir, "http://127.0.0.1:" + std::to_string(port), "", password != nullptr);
        if (password != nullptr) EQ_SetAuthentication(kUser, password);
        const uint32_t status = EQ_QueryVulnsByAddress(
            "2025-12-05T00:00:00Z", "2025-12-06T00:00:00Z", "10.0.1.1-10.0.1.16", 0, 0, 7);
        if (status != 0) Fail("the query was refused: " + std::to_string(status));
        std::unique_lock<std::mutex> lock(g_mutex);
        g_done.wait(lock, [] { return g_answered; });
    }
    server.stop();
    thread.join();
    if (body.empty()) Fail("no request was captured (status " + std::to_string(g_failure) + ")");
    return body;
}

// ---- libcurl, as a user writes it by hand
// ---------------------------------------------------------

size_t Collect(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

class CCurlClient {
public:
    CCurlClient(std::string url, std::string caFile)
        : m_url(std::move(url)), m_ca(std::move(caFile)) {
        m_headers =
            curl_slist_append(nullptr, "Content-Type: application/x-zav-cml-data; charset=UTF-8");
        m_headers = curl_slist_append(m_headers, "Expect:");
    }
    ~CCurlClient() {
        if (m_handle != nullptr) curl_easy_cleanup(m_handle);
        curl_slist_free_all(m_headers);
    }
    CCurlClient(const CCurlClient&) = delete;
    CCurlClient& operator=(const CCurlClient&) = delete;

    // One post; reuse: the same handle (and so its connection) as the post before. The HTTP status.
    long Post(const std::string& body, bool reuse) {
        if (!reuse && m_handle != nullptr) {
            curl_easy_cleanup(m_handle);
            m_handle = nullptr;
        }
        if (m_handle == nullptr) m_handle = curl_easy_init();
        m_answer.clear();
        curl_easy_setopt(m_handle, CURLOPT_URL, m_url.c_str());
        curl_easy_setopt(m_handle, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_handle, CURLOPT_HTTPHEADER, m_headers);
        curl_easy_setopt(m_handle, CURLOPT_WRITEFUNCTION, &Collect);
        curl_easy_setopt(m_handle, CURLOPT_WRITEDATA, &m_answer);
        curl_easy_setopt(m_handle, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(m_handle, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(body.size()));
        if (!m_ca.empty()) curl_easy_setopt(m_handle, CURLOPT_CAINFO, m_ca.c_str());
        const CURLcode code = curl_easy_perform(m_handle);
        if (code != CURLE_OK) Fail(std::string("libcurl: ") + curl_easy_strerror(code));
        long status = 0;
        curl_easy_getinfo(m_handle, CURLINFO_RESPONSE_CODE, &status);
        return status;
    }
    const std::string& Answer() const { return m_answer; }

private:
    std::string m_url, m_ca;
    curl_slist* m_headers = nullptr;
    CURL* m_handle = nullptr;
    std::string m_answer;
};

// ---- measuring
// -------------------------------------------------------------------------------------

// Runs one for about the given time (after one warm-up call); calls per second.
double Rate(double seconds, const std::function<void()>& one) {
    one();
    const auto start = Clock::now();
    const auto until = start + std::chrono::duration<double>(seconds);
    long calls = 0;
    do {
        one();
        ++calls;
    } while (Clock::now() < until);
    return calls / std::chrono::duration<double>(Clock::now() - start).count();
}

// Milliseconds per call over n calls, after one warm-up call.
double MsPerCall(int n, const std::function<void()>& one) {
    one();
    const auto start = Clock::now();
    for (int i = 0; i < n; ++i) one();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / n;
}

// Processor time of a process so far, user and system, in ms.
double CpuMs(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i >= 14) ticks += std::stod(field);  // utime, stime
    }
    return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// A server whose own log lines (one per refusal) stay out of the report.
std::unique_ptr<CServerProcess> QuietServer(std::vector<std::string> args) {
    const int saved = dup(STDERR_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);
    close(null);
    std::unique_ptr<CServerProcess> server;
    try {
        server = std::make_unique<CServerProcess>(std::move(args));
    } catch (...) {
        dup2(saved, STDERR_FILENO);
        close(saved);
        throw;
    }
    dup2(saved, STDERR_FILENO);
    close(saved);
    return server;
}

int Port(const std::string& url) { return std::atoi(url.c_str() + url.rfind(':') + 1); }

}  // namespace

int main(int argc, char** argv) {
    double seconds = 2;
    int queries = 40;
    int rttMs = 20;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
        if (std::strcmp(argv[i], "--queries") == 0) queries = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--rtt") == 0) rttMs = std::atoi(argv[i + 1]);
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    CTempDir dir;
    const std::string db = dir.Path() + "/bench.db", cert = dir.Path() + "/cert.pem",
                      key = dir.Path() + "/key.pem";
    if (RunProcess({EQ_TEST_SERVER, "demo-db", db, "--end", "1765000000"}).exitCode != 0 ||
        RunProcess({EQ_TEST_SERVER, "user", "add", kUser, "--db", db},
                   {std::string("EQ_SERVER_PASSWORD=") + kPassword})
                .exitCode != 0 ||
        RunProcess({EQ_TEST_OPENSSL, "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:prime256v1", "-nodes", "-days", "1", "-subj",
                    "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key,
                    "-out", cert})
                .exitCode != 0) {
        Fail("cannot prepare the database, the user or the certificate");
    }
    const std::string plainBody = CaptureRequest(dir, nullptr);
    const std::string authBody = CaptureRequest(dir, kPassword);
    const std::string wrongBody = CaptureRequest(dir, "not the password");

    const std::vector<std::string> tls = {"--db", db, "--cert", cert, "--key", key};
    std::vector<std::string> tlsAuth = tls;
    tlsAuth.emplace_back("--require-auth");
    const auto http = QuietServer({"--db", db});
    const auto https = QuietServer(tls);
    const auto httpsAuth = QuietServer(tlsAuth);

    std::printf("== eq-server and the library on the deployed transport (ratios of one run)\n");
    {
        CCurlClient kept(https->Url() + kPath, cert);
        CCurlClient fresh(http->Url() + kPath, "");
        if (kept.Post(plainBody, true) != 200) Fail("HTTPS answered " + kept.Answer());
        const double keptRate = Rate(seconds, [&] { kept.Post(plainBody, true); });
        const double freshRate = Rate(seconds, [&] { fresh.Post(plainBody, false); });
        std::printf("(a) HTTPS kept alive %8.0f /s, HTTP new connection %8.0f /s: %.2f\n", keptRate,
                    freshRate, keptRate / freshRate);
    }
    {
        CCurlClient plain(https->Url() + kPath, cert);
        CCurlClient auth(httpsAuth->Url() + kPath, cert);
        if (auth.Post(authBody, true) != 200) Fail("authenticated query answered " + auth.Answer());
        const double authRate = Rate(seconds, [&] { auth.Post(authBody, true); });
        const double plainRate = Rate(seconds, [&] { plain.Post(plainBody, true); });
        std::printf("(b) authenticated %8.0f /s, unauthenticated %8.0f /s: %.2f\n", authRate,
                    plainRate, authRate / plainRate);
    }
    {
        // A server of its own: its limiter must not have met the other runs' clients.
        const auto guessed = QuietServer(tlsAuth);
        CCurlClient guesser(guessed->Url() + kPath, cert);
        const int attempts = 300;
        int refused = 0, limited = 0;
        const double before = CpuMs(guessed->Pid());
        for (int i = 0; i < attempts; ++i) {
            const long status = guesser.Post(wrongBody, true);
            refused += status == 401 ? 1 : 0;
            limited += status == 429 ? 1 : 0;
        }
        const double cpu = CpuMs(guessed->Pid()) - before;
        std::printf(
            "(c) %d wrong passwords (%d refused, %d rate limited): %.2f ms of server "
            "processor time each\n",
            attempts, refused, limited, cpu / attempts);
    }
    {
        const auto rtt = std::chrono::milliseconds(rttMs);
        zavbench::CDelayProxy tlsLink(Port(httpsAuth->Url()), rtt);
        zavbench::CDelayProxy plainLink(Port(http->Url()), rtt);
        const std::string tlsUrl = "https://127.0.0.1:" + std::to_string(tlsLink.Port());
        const std::string plainUrl = "http://127.0.0.1:" + std::to_string(plainLink.Port());
        struct Row {
            const char* name;
            const std::string& url;
            const std::string& body;
            bool auth;
        };
        for (const Row& row : {Row{"HTTPS + auth", tlsUrl, authBody, true},
                               Row{"HTTP", plainUrl, plainBody, false}}) {
            double library = 0;
            {
                CLibrary host(dir, row.url, cert, row.auth);
                library = MsPerCall(queries, [] { CLibrary::Query(); });
            }
            CCurlClient curl(row.url + kPath, cert);
            const double reused = MsPerCall(queries, [&] { curl.Post(row.body, true); });
            const double fresh = MsPerCall(queries / 2, [&] { curl.Post(row.body, false); });
            std::printf(
                "(d) %-12s at %d ms round trip: library %6.1f ms, libcurl reused handle "
                "%6.1f ms: %.2f (libcurl new handle per post %6.1f ms: %.2f)\n",
                row.name, rttMs, library, reused, library / reused, fresh, library / fresh);
        }
    }
    curl_global_cleanup();
    return 0;
}
