// A loopback Event Query Server for the install checks: answers every query with one
// vulnerability (result id 42, CVE-2024-0001, severity 9), prints its URL on stdout once it
// listens and runs until SIGTERM or SIGINT.
#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "EventQueryTestServer.h"

int main() {
    // Blocked before the server's threads start, so that only sigwait below takes them.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    eqit::CEventQueryTestServer server([](const eqit::PostedRequest& post) {
        eqit::QueryResponse response;
        const std::string& requestId = post.Field("request-id");
        response.requestId.assign(requestId.begin(), requestId.end());
        response.items.push_back({L"42", {{L"identifier", L"CVE-2024-0001"}, {L"severity", L"9"}}});
        return eqit::Reply{200, eqit::BuildResponseDocument({response})};
    });
    std::printf("%s\n", server.Url().c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stop, &signal);
    return 0;
}
