/*
 * zavEventQuerySvcs.h - public interface of libzavEventQuerySvcs5.so, the event query client.
 *
 * Every function has C linkage, returns a 32-bit status where it returns one (0 is success) and
 * never lets an exception escape. The text of any status comes from EQ_GetErrorMsg.
 */
#ifndef ZAV_EVENT_QUERY_SVCS_H
#define ZAV_EVENT_QUERY_SVCS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define EQ_EXPORT __attribute__((visibility("default")))
#else
#define EQ_EXPORT
#endif

/* ---- Statuses an application compares against ------------------------------------------ */

#define EQ_S_OK 0x00000000u                  /* success */
#define EQ_E_BUFFER_FULL 0xC7210001u         /* output buffer too small */
#define EQ_E_INVALID_ARG 0xC7210003u         /* an argument is NULL, too large or invalid */
#define EQ_E_OUT_OF_MEMORY 0xC7210004u       /* an object could not be created */
#define EQ_E_EXCEPTION 0xC7210005u           /* an unexpected exception was caught */
#define EQ_E_NO_SERVER 0xC7210009u           /* no server is configured */
#define EQ_I_TIMEOUT 0x4721000Eu             /* a wait timed out */
#define EQ_E_NOT_LOADED 0xC7210042u          /* a component entry point is not loaded */
#define EQ_E_NOT_INITIALIZED 0xC75802BCu     /* EQ_Init has not been called */
#define EQ_I_ALREADY_INITIALIZED 0x475802BDu /* EQ_Init was already called; nothing done */
#define EQ_E_QUERY_OUTSTANDING 0xC75802BFu   /* a query is already outstanding */
#define EQ_E_REQUEST_DROPPED 0xC75802C1u     /* the outstanding request was dropped */
#define EQ_E_BAD_RESPONSE 0xC75802C2u        /* a response could not be processed */
#define EQ_I_SERVER_BUSY 0x4759001Fu         /* the server asked to retry later */
#define EQ_I_RETRIES_EXHAUSTED 0x47590025u   /* all retries on all servers failed */

/* ---- Trace log ----------------------------------------------------------------------------- */

#define EQ_TRACE_ERROR 0x00000001u
#define EQ_TRACE_WARNING 0x00000002u
#define EQ_TRACE_DEBUG 0x00000008u
#define EQ_TRACE_FUNCTION 0x80000000u /* "--Function Entered" / "--Function Exited" */

/*
 * The application's trace-log context. A line is passed to trace() only when its level shares a
 * bit with levelMask. message and function are valid only during the call; trace() may be called
 * from any thread of the library at once and its result is ignored. The library never copies or
 * frees the structure: it must outlive EQ_ShutDown.
 */
typedef int32_t (*asTraceFunction)(uint32_t context, uint32_t level, const char* message,
                                   const char* function);
typedef struct asTraceLog {
    uint32_t context;      /* handed back to trace() unchanged */
    uint32_t levelMask;    /* EQ_TRACE_* bits to write */
    asTraceFunction trace; /* may be NULL: nothing is written */
} asTraceLog;

/* ---- Functions ----------------------------------------------------------------------------- */

/*
 * Writes the text of a status into buffer: the catalog text, a blank and "[ID=0x........]".
 * Needs no initialisation. Returns 0, also when the text does not fit (the buffer then holds the
 * empty string); EQ_E_INVALID_ARG when buffer is NULL or bufferSize is below 2.
 */
EQ_EXPORT uint32_t EQ_GetErrorMsg(uint32_t status, char* buffer, uint32_t bufferSize);

#ifdef __cplusplus
}
#endif

#endif /* ZAV_EVENT_QUERY_SVCS_H */
