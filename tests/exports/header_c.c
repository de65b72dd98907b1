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
