/*
 * query_vulnerabilities - asks the Event Query Server for the vulnerabilities of an address range
 * and prints them, the way a host application uses libzavEventQuerySvcs5.so.
 *
 *   query_vulnerabilities LOCAL_PROPERTY_FILE COMM_SETTINGS_FILE ADDRESS_RANGE [COMPONENT_DIR]
 *
 * LOCAL_PROPERTY_FILE holds the [event_query_services] settings and the [agent] agent_id;
 * COMM_SETTINGS_FILE lists the servers ([servers] url = ...); local.ini and comm.ini beside this
 * file are samples. COMPONENT_DIR is the folder of libzavSessionConfigSvcs5.so when it is not
 * installed beside the library. Build it with the CMakeLists.txt beside it, or with
 *   cc query_vulnerabilities.c $(pkg-config --cflags --libs zavEventQuerySvcs5) -pthread
 */
#define _POSIX_C_SOURCE 200809L

#include <errno.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "zavEventQuerySvcs.h"

/* The callbacks run in the library's dispatch thread; main() waits for the end of the set. */
static pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t g_finished = PTHREAD_COND_INITIALIZER;
static int g_done = 0;
static uint32_t g_status = EQ_S_OK;

static void Finish(uint32_t status) {
    pthread_mutex_lock(&g_mutex);
    g_done = 1;
    g_status = status;
    pthread_cond_signal(&g_finished);
    pthread_mutex_unlock(&g_mutex);
}

static int32_t Trace(uint32_t context, uint32_t level, const char* message, const char* function) {
    (void)context;
    fprintf(stderr, "[%s] %s: %s\n", level == EQ_TRACE_ERROR ? "error" : "warning", function,
            message);
    return 0;
}

/* A failed post is retried by the library; only exhaustion or a dropped request ends the wait. */
static int32_t OnError(uint32_t status, int32_t flag) {
    char text[512];
    (void)flag;
    EQ_GetErrorMsg(status, text, sizeof(text));
    fprintf(stderr, "error: %s\n", text);
    if (status == EQ_I_RETRIES_EXHAUSTED || status == EQ_E_REQUEST_DROPPED) Finish(status);
    return 0;
}

static int32_t OnBeginResult(uint32_t clientData, const char* resultId) {
    (void)clientData;
    printf("vulnerability %s\n", resultId);
    return 0;
}

static int32_t OnResultData(uint32_t clientData, const char* resultId, const char* name,
                            const char* value) {
    (void)clientData;
    (void)resultId;
    printf("    %s = %s\n", name, value);
    return 0;
}

static int32_t OnEndResultSet(uint32_t clientData) {
    (void)clientData;
    Finish(EQ_S_OK);
    return 0;
}

int main(int argc, char** argv) {
    /* The trace log must stay valid until EQ_ShutDown has returned. */
    static const asTraceLog traceLog = {0, EQ_TRACE_ERROR | EQ_TRACE_WARNING, Trace};
    struct timespec deadline;
    time_t now;
    uint32_t status;
    int waited = 0;

    if (argc < 4) {
        fprintf(stderr,
                "usage: %s LOCAL_PROPERTY_FILE COMM_SETTINGS_FILE ADDRESS_RANGE "
                "[COMPONENT_DIR]\n",
                argv[0]);
        return 2;
    }
    if (argc > 4) EQ_SetMSLLibPath(argv[4]);
    fprintf(stderr, "built with libzavEventQuerySvcs %s\n", ZAV_EQ_VERSION_STRING);

    status = EQ_Init("5.0", argv[1], argv[2], "query_vulnerabilities", NULL, "example-agent",
                     "urn:example:agents", &traceLog);
    if (status != EQ_S_OK) {
        fprintf(stderr, "EQ_Init failed: 0x%08lX\n", (unsigned long)status);
        return 1;
    }
    EQ_RegisterErrorCallback(OnError);
    EQ_RegisterResultSetCallbacks(NULL, OnBeginResult, OnResultData, NULL, OnEndResultSet);

    /* The last 24 hours, not yet fixed, at most 100 results. */
    now = time(NULL);
    status = EQ_GetVulnsByAddress(now - 24 * 60 * 60, now, argv[3], 0, 100, 1);
    if (status == EQ_S_OK) {
        clock_gettime(CLOCK_REALTIME, &deadline);
        deadline.tv_sec += 120;
        pthread_mutex_lock(&g_mutex);
        while (!g_done && waited != ETIMEDOUT) {
            waited = pthread_cond_timedwait(&g_finished, &g_mutex, &deadline);
        }
        status = g_done ? g_status : EQ_I_TIMEOUT;
        pthread_mutex_unlock(&g_mutex);
    }
    if (status != EQ_S_OK) fprintf(stderr, "query failed: 0x%08lX\n", (unsigned long)status);

    EQ_ShutDown();
    return status == EQ_S_OK ? 0 : 1;
}
