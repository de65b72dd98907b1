/* The public header must compile as plain C99. */
#include "zavEventQuerySvcs.h"

static int32_t trace(uint32_t context, uint32_t level, const char* message, const char* function) {
    (void)context;
    (void)level;
    (void)message;
    (void)function;
    return 0;
}

uint32_t zav_header_c_check(void) {
    char buf[64];
    asTraceLog log = {0u, EQ_TRACE_ERROR | EQ_TRACE_DEBUG, trace};
    (void)log;
    return EQ_GetErrorMsg(EQ_E_INVALID_ARG, buf, (uint32_t)sizeof buf);
}

/* Every export and callback type is declared with a C signature. */
static int32_t on_error(uint32_t status, int32_t flag) {
    (void)status;
    (void)flag;
    return 0;
}

uint32_t zav_header_c_signatures(void) {
    EQ_ErrorCallback error = on_error;
    EQ_BeginResultSetCallback beginSet = 0;
    EQ_BeginResultCallback begin = 0;
    EQ_ResultDataCallback data = 0;
    EQ_EndResultCallback end = 0;
    EQ_EndResultSetCallback endSet = 0;
    time_t t = 0;
    uint32_t (*byAddress)(time_t, time_t, const char*, int32_t, const char*, uint8_t, uint32_t,
                          uint32_t) = EQ_GetObservanceSummaryByAddress;
    (void)byAddress;
    (void)EQ_ConvertUTCToTime("2008-01-01T00:00:00Z", &t);
    (void)EQ_RegisterErrorCallback(error);
    return EQ_RegisterResultSetCallbacks(beginSet, begin, data, end, endSet);
}
