/*
 * zavEventQuerySvcs.h - public interface of libzavEventQuerySvcs5.so, the event query client.
 *
 * Every function has C linkage, returns a 32-bit status where it returns one (0 is success) and
 * never lets an exception escape. The text of any status comes from EQ_GetErrorMsg.
 */
#ifndef ZAV_EVENT_QUERY_SVCS_H
#define ZAV_EVENT_QUERY_SVCS_H

#include <stdint.h>
#include <time.h>

/* The i386 library takes a 32-bit time_t; a host built with a 64-bit one would pass others. */
#if defined(__i386__) && defined(_TIME_BITS) && _TIME_BITS == 64
#error "libzavEventQuerySvcs5 for i386 takes a 32-bit time_t: build without -D_TIME_BITS=64"
#endif

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
#define EQ_E_RESPONSE_TOO_LARGE 0xC759000Eu  /* answer over max_response_size; not retried */
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

/* ---- Callbacks ----------------------------------------------------------------------------- */

/*
 * Result delivery. All texts are NUL-terminated UTF-8 owned by the library and valid only during
 * the call; clientData is the value given with the query. Result callbacks run in the library's
 * dispatch thread and may call the library again (a new query is accepted while the results of
 * the previous one are delivered). The error callback reports a request that failed after the
 * query returned; it runs in the dispatch thread with the library's lock held, so it must not
 * wait for another thread that uses the library. The values the callbacks return are ignored.
 */
typedef int32_t (*EQ_ErrorCallback)(uint32_t status, int32_t flag); /* flag is always 1 */
typedef int32_t (*EQ_BeginResultSetCallback)(uint32_t clientData);
typedef int32_t (*EQ_BeginResultCallback)(uint32_t clientData, const char* resultId);
typedef int32_t (*EQ_ResultDataCallback)(uint32_t clientData, const char* resultId,
                                         const char* name, const char* value);
typedef int32_t (*EQ_EndResultCallback)(uint32_t clientData, const char* resultId);
typedef int32_t (*EQ_EndResultSetCallback)(uint32_t clientData);

/* Analysis flags of the observance queries; 0 asks for source and target analysis. */
#define EQ_ANALYSIS_SOURCE 0x1
#define EQ_ANALYSIS_TARGET 0x2
#define EQ_ANALYSIS_SENSOR 0x4

/* ---- Functions ----------------------------------------------------------------------------- */

/*
 * Writes the text of a status into buffer: the catalog text, a blank and "[ID=0x........]".
 * Needs no initialisation. Returns 0, also when the text does not fit (the buffer then holds the
 * empty string); EQ_E_INVALID_ARG when buffer is NULL or bufferSize is below 2.
 */
EQ_EXPORT uint32_t EQ_GetErrorMsg(uint32_t status, char* buffer, uint32_t bufferSize);

/*
 * Initialises the library: loads the session configuration component, reads the settings and
 * starts the dispatch thread. version must start with "5."; initString2 and traceLog may be NULL.
 * Returns 0, EQ_I_ALREADY_INITIALIZED when already initialised (nothing done), EQ_E_INVALID_ARG,
 * EQ_E_OUT_OF_MEMORY, or the status of the component. Of concurrent calls, one initialises the
 * library; the others give their work up and return 0 or EQ_I_ALREADY_INITIALIZED.
 */
EQ_EXPORT uint32_t EQ_Init(const char* version, const char* localPropertyFile,
                           const char* commSettingsFile, const char* initString1,
                           const char* initString2, const char* agentName,
                           const char* agentNamespace, const asTraceLog* traceLog);

/*
 * Stops the dispatch thread (waiting at most shutdownTimeout) and releases the library; the
 * result callbacks are not called any more. Returns 0, also when not initialised.
 */
EQ_EXPORT uint32_t EQ_ShutDown(void);

/* Replaces the error callback (NULL: none). Returns 0 or EQ_E_NOT_INITIALIZED. */
EQ_EXPORT uint32_t EQ_RegisterErrorCallback(EQ_ErrorCallback errorCallback);

/*
 * Replaces the five result callbacks; each may be NULL and is then skipped. Returns 0 or
 * EQ_E_NOT_INITIALIZED.
 */
EQ_EXPORT uint32_t EQ_RegisterResultSetCallbacks(EQ_BeginResultSetCallback beginResultSet,
                                                 EQ_BeginResultCallback beginResult,
                                                 EQ_ResultDataCallback resultData,
                                                 EQ_EndResultCallback endResult,
                                                 EQ_EndResultSetCallback endResultSet);

/*
 * Settings forwarded unchanged to the session configuration component for the library's
 * destination. Each returns the component's status or EQ_E_NOT_INITIALIZED.
 */
EQ_EXPORT uint32_t EQ_LoadCommSettingsFile(const char* file);
EQ_EXPORT uint32_t EQ_LoadLocalSettingsFile(const char* file);
EQ_EXPORT uint32_t EQ_SaveCommSettings(const char* file);
EQ_EXPORT uint32_t EQ_SetLanguage(const char* language);
EQ_EXPORT uint32_t EQ_SetAgentId(const char* agentId);
EQ_EXPORT uint32_t EQ_SetLastGoodAgentId(const char* agentId);

/*
 * Tests the current comm settings, or those of the comm settings file, through the component.
 * The two values are passed through unchanged. Returns the component's status.
 */
EQ_EXPORT uint32_t EQ_TestCommSettings(uint32_t value1, uint32_t value2);
EQ_EXPORT uint32_t EQ_TestCommSettingsFile(uint32_t value1, uint32_t value2);

/* Returns to the primary server and wakes the dispatch thread (a queued request is resent). */
EQ_EXPORT uint32_t EQ_ResetToPrimaryController(void);

/*
 * Stores the user and password sent with every later request. Set them while no query is being
 * built. Returns 0, EQ_E_NOT_INITIALIZED, or EQ_E_EXCEPTION for a NULL text.
 */
EQ_EXPORT uint32_t EQ_SetAuthentication(const char* user, const char* password);

/*
 * Sets the result filter added to every observance (vulnerability) request: the text is split at
 * every ",", empty pieces kept, nothing trimmed; NULL empties it. Returns 0 or
 * EQ_E_NOT_INITIALIZED.
 */
EQ_EXPORT uint32_t EQ_SetObservanceResultFilter(const char* filter);
EQ_EXPORT uint32_t EQ_SetVulnerabilityResultFilter(const char* filter);

/*
 * Queries. Each validates its arguments, queues one request and returns at once; the results
 * arrive through the result callbacks with clientData, a failure through the error callback.
 * Times are XML Schema dateTime texts (Query forms) or time_t values taken as UTC (Get forms).
 * addressRange is one address or two joined by "-" (IPv4 dotted or lower-case IPv6); groupId,
 * addressRange and typeFilter must be shorter than 4096 bytes. typeFilter is a comma-separated
 * list of observance type ids, or NULL for "all but 2 and 8" (exclude is then forced on).
 * Returns 0, EQ_E_INVALID_ARG, EQ_E_QUERY_OUTSTANDING while a query is outstanding,
 * EQ_E_NOT_INITIALIZED, EQ_E_EXCEPTION (a NULL time text) or a status of the component.
 */
EQ_EXPORT uint32_t EQ_QueryVulnsByAddress(const char* startTime, const char* endTime,
                                          const char* addressRange, uint8_t fixed, int32_t count,
                                          uint32_t clientData);
EQ_EXPORT uint32_t EQ_QueryVulnsByGroup(const char* startTime, const char* endTime,
                                        const char* groupId, uint8_t fixed, int32_t count,
                                        uint32_t clientData);
EQ_EXPORT uint32_t EQ_GetVulnsByAddress(time_t startTime, time_t endTime, const char* addressRange,
                                        uint8_t fixed, int32_t count, uint32_t clientData);
EQ_EXPORT uint32_t EQ_GetVulnsByGroup(time_t startTime, time_t endTime, const char* groupId,
                                      uint8_t fixed, int32_t count, uint32_t clientData);
EQ_EXPORT uint32_t EQ_QueryObservancesByAddress(const char* startTime, const char* endTime,
                                                const char* addressRange, int32_t analysisFlags,
                                                const char* typeFilter, uint8_t exclude,
                                                uint32_t count, uint32_t clientData);
EQ_EXPORT uint32_t EQ_QueryObservancesByGroup(const char* startTime, const char* endTime,
                                              const char* groupId, int32_t analysisFlags,
                                              const char* typeFilter, uint8_t exclude,
                                              uint32_t count, uint32_t clientData);
EQ_EXPORT uint32_t EQ_GetObservanceSummaryByAddress(time_t startTime, time_t endTime,
                                                    const char* addressRange, int32_t analysisFlags,
                                                    const char* typeFilter, uint8_t exclude,
                                                    uint32_t count, uint32_t clientData);
EQ_EXPORT uint32_t EQ_GetObservanceSummaryByGroup(time_t startTime, time_t endTime,
                                                  const char* groupId, int32_t analysisFlags,
                                                  const char* typeFilter, uint8_t exclude,
                                                  uint32_t count, uint32_t clientData);

/*
 * Memory the application and the library exchange. EQ_Allocate returns NULL when the library is
 * not initialised or the allocation fails; EQ_Free does nothing then, or for NULL.
 */
EQ_EXPORT void* EQ_Allocate(uint32_t size);
EQ_EXPORT void EQ_Free(void* block);

/*
 * Folder of the session configuration component and the extension of its signature file; both
 * take effect at the next EQ_Init. NULL is ignored.
 */
EQ_EXPORT void EQ_SetMSLLibPath(const char* path);
EQ_EXPORT void EQ_SetMSLExtSigFileExtension(const char* extension);

/*
 * Converts an XML Schema dateTime text in UTC ("Z" or no zone) to a time_t. Needs no
 * initialisation. Returns 0, or EQ_E_INVALID_ARG for NULL arguments, a zone other than UTC or
 * a time that time_t cannot hold (with a 32-bit time_t: before 1901-12-13T20:45:52Z or after
 * 2038-01-19T03:14:07Z).
 */
EQ_EXPORT uint32_t EQ_ConvertUTCToTime(const char* utcTime, time_t* result);

#ifdef __cplusplus
}
#endif

#endif /* ZAV_EVENT_QUERY_SVCS_H */
