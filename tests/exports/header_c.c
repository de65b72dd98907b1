/* The public header must compile as plain C99, every export and callback type declared with a C
 * signature. Compiled only, never linked: the two callbacks need no definition. */
#include "zavEventQuerySvcs.h"

int32_t zav_trace(uint32_t context, uint32_t level, const char* message, const char* function);
int32_t zav_on_error(uint32_t status, int32_t flag);

uint32_t zav_header_c_check(void) {
    char buf[64];
    asTraceLog log = {0u, EQ_TRACE_ERROR | EQ_TRACE_DEBUG, zav_trace};
    EQ_ErrorCallback error = zav_on_error;
    EQ_BeginResultSetCallback beginSet = 0;
    EQ_BeginResultCallback begin = 0;
    EQ_ResultDataCallback data = 0;
    EQ_EndResultCallback end = 0;
    EQ_EndResultSetCallback endSet = 0;
    time_t t = 0;
    uint32_t (*byAddress)(time_t, time_t, const char*, int32_t, const char*, uint8_t, uint32_t,
                          uint32_t) = EQ_GetObservanceSummaryByAddress;
    (void)log;
    (void)byAddress;
    (void)EQ_ConvertUTCToTime("2008-01-01T00:00:00Z", &t);
    (void)EQ_RegisterErrorCallback(error);
    (void)EQ_RegisterResultSetCallbacks(beginSet, begin, data, end, endSet);
    return EQ_GetErrorMsg(EQ_E_INVALID_ARG, buf, (uint32_t)sizeof buf);
}
