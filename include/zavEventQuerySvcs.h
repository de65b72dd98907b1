/**
 * @file zavEventQuerySvcs.h
 * @brief Public interface of libzavEventQuerySvcs5.so, the event query client.
 *
 * Every function has C linkage, returns a 32-bit status where it returns one (0 is success) and
 * never lets an exception escape. The text of any status comes from EQ_GetErrorMsg(). Threads:
 * any function may be called from any application thread; queries only queue work, and every
 * callback runs in the library's one dispatch thread. Lifetime: EQ_Init() starts the library,
 * EQ_ShutDown() ends it; texts handed to callbacks are valid only during the call.
 */
#ifndef ZAV_EVENT_QUERY_SVCS_H
#define ZAV_EVENT_QUERY_SVCS_H

#include <stdint.h>
#include <time.h>

#include "zavEventQuerySvcsVersion.h"

/* The i386 library takes a 32-bit time_t; a host built with a 64-bit one would pass others. */
#if defined(__i386__) && defined(_TIME_BITS) && _TIME_BITS == 64
#error "libzavEventQuerySvcs5 for i386 takes a 32-bit time_t: build without -D_TIME_BITS=64"
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** @cond INTERNAL */
#if defined(__GNUC__)
#define EQ_EXPORT __attribute__((visibility("default")))
#else
#define EQ_EXPORT
#endif
/** @endcond */

/* ---- Statuses an application compares against ------------------------------------------ */

/**
 * @name Statuses
 * Values an application compares a returned or reported status against. Statuses of the
 * session configuration component and of the transport are passed on unchanged; every status
 * has a text (EQ_GetErrorMsg()). Bit 31 set: error; bit 30 set alone: information.
 * @{
 */
#define EQ_S_OK 0x00000000u                  /**< success */
#define EQ_E_BUFFER_FULL 0xC7210001u         /**< output buffer too small */
#define EQ_E_INVALID_ARG 0xC7210003u         /**< an argument is NULL, too large or invalid */
#define EQ_E_OUT_OF_MEMORY 0xC7210004u       /**< an object could not be created */
#define EQ_E_EXCEPTION 0xC7210005u           /**< an unexpected exception was caught */
#define EQ_E_NO_SERVER 0xC7210009u           /**< no server is configured */
#define EQ_I_TIMEOUT 0x4721000Eu             /**< a wait timed out */
#define EQ_E_NOT_LOADED 0xC7210042u          /**< a component entry point is not loaded */
#define EQ_E_NOT_INITIALIZED 0xC75802BCu     /**< EQ_Init has not been called */
#define EQ_I_ALREADY_INITIALIZED 0x475802BDu /**< EQ_Init was already called; nothing done */
#define EQ_E_QUERY_OUTSTANDING 0xC75802BFu   /**< a query is already outstanding */
#define EQ_E_REQUEST_DROPPED 0xC75802C1u     /**< the outstanding request was dropped */
#define EQ_E_BAD_RESPONSE 0xC75802C2u        /**< a response could not be processed */
#define EQ_I_SERVER_BUSY 0x4759001Fu         /**< the server asked to retry later */
#define EQ_E_RESPONSE_TOO_LARGE 0xC759000Eu  /**< answer over max_response_size; not retried */
#define EQ_I_RETRIES_EXHAUSTED 0x47590025u   /**< all retries on all servers failed */
/** @} */

/* ---- Trace log ----------------------------------------------------------------------------- */

/**
 * @name Trace levels
 * Bits of asTraceLog::levelMask and of the level passed to the trace function.
 * @{
 */
#define EQ_TRACE_ERROR 0x00000001u    /**< errors */
#define EQ_TRACE_WARNING 0x00000002u  /**< warnings, such as a setting replaced by its default */
#define EQ_TRACE_DEBUG 0x00000008u    /**< debugging detail */
#define EQ_TRACE_FUNCTION 0x80000000u /**< "--Function Entered" / "--Function Exited" */
/** @} */

/**
 * The application's trace function. message and function are valid only during the call;
 * it may be called from any thread of the library at once; its result is ignored.
 */
typedef int32_t (*asTraceFunction)(uint32_t context, uint32_t level, const char* message,
                                   const char* function);

/**
 * The application's trace-log context. A line is passed to trace() only when its level shares a
 * bit with levelMask. The library never copies or frees the structure: it must stay valid until
 * EQ_ShutDown() has returned.
 */
typedef struct asTraceLog {
    uint32_t context;      /**< handed back to trace() unchanged */
    uint32_t levelMask;    /**< EQ_TRACE_* bits to write */
    asTraceFunction trace; /**< may be NULL: nothing is written */
} asTraceLog;

/* ---- Callbacks ----------------------------------------------------------------------------- */

/**
 * Reports a request that failed after its query returned. A status for which
 * EQ_STATUS_ENDS_QUERY() is true ends the query: nothing more comes for it. Any other status is
 * the transport's for one failed post, and the library posts the request again. Runs in the
 * dispatch thread with the library's lock held: it must not wait for another thread that calls
 * the library. flag is always 1; the result is ignored.
 */
typedef int32_t (*EQ_ErrorCallback)(uint32_t status, int32_t flag);

/**
 * True for the error-callback statuses that end a query: #EQ_E_REQUEST_DROPPED (the answer
 * could not be used; the request is gone), #EQ_E_RESPONSE_TOO_LARGE (the request is gone, the
 * answer is not fetched again) and #EQ_I_RETRIES_EXHAUSTED (every server failed; the request
 * stays queued, and new queries are refused, until EQ_ResetToPrimaryController() posts it
 * again). The next query is taken after the first two at once.
 */
#define EQ_STATUS_ENDS_QUERY(status)                                            \
    ((status) == EQ_E_REQUEST_DROPPED || (status) == EQ_E_RESPONSE_TOO_LARGE || \
     (status) == EQ_I_RETRIES_EXHAUSTED)

/**
 * First callback of an answer, before its items; clientData is the query's. Runs in the
 * dispatch thread and may issue the next query.
 */
typedef int32_t (*EQ_BeginResultSetCallback)(uint32_t clientData);
/** Start of one item; resultId (UTF-8) is valid only during the call. */
typedef int32_t (*EQ_BeginResultCallback)(uint32_t clientData, const char* resultId);
/** One name/value pair of the item resultId; all texts UTF-8, valid only during the call. */
typedef int32_t (*EQ_ResultDataCallback)(uint32_t clientData, const char* resultId,
                                         const char* name, const char* value);
/** End of the item resultId. */
typedef int32_t (*EQ_EndResultCallback)(uint32_t clientData, const char* resultId);
/** Last callback of an answer. */
typedef int32_t (*EQ_EndResultSetCallback)(uint32_t clientData);

/**
 * @name Analysis flags
 * Address columns the observance queries match against; 0 asks for source and target.
 * @{
 */
#define EQ_ANALYSIS_SOURCE 0x1 /**< the source address */
#define EQ_ANALYSIS_TARGET 0x2 /**< the target address */
#define EQ_ANALYSIS_SENSOR 0x4 /**< the sensor address */
/** @} */

/* ---- Functions ----------------------------------------------------------------------------- */

/**
 * Writes the text of a status into buffer: the catalog text, a blank and "[ID=0x........]".
 * Needs no initialisation and may be called from any thread, also from callbacks. Without the
 * message catalog the text reads "Status 2 retrieving message text for [...]".
 * @return 0, also when the text does not fit (the buffer then holds the empty string);
 *         #EQ_E_INVALID_ARG when buffer is NULL or bufferSize is below 2.
 */
EQ_EXPORT uint32_t EQ_GetErrorMsg(uint32_t status, char* buffer, uint32_t bufferSize);

/**
 * Initialises the library: loads the signed session configuration component, reads the
 * settings files (localPropertyFile: [event_query_services] and [agent]; commSettingsFile: the
 * servers) and starts the dispatch thread. version must start with "5."; initString1 is the
 * application's name, initString2 and traceLog may be NULL. traceLog must stay valid until
 * EQ_ShutDown() has returned.
 * @return 0; #EQ_I_ALREADY_INITIALIZED when already initialised (nothing done);
 *         #EQ_E_INVALID_ARG; #EQ_E_OUT_OF_MEMORY; #EQ_E_EXCEPTION; or the status of the loader
 *         (component not found, signature refused) or of the component (settings files). Of
 *         concurrent calls one initialises the library; the others give their work up and
 *         return 0 or #EQ_I_ALREADY_INITIALIZED.
 */
EQ_EXPORT uint32_t EQ_Init(const char* version, const char* localPropertyFile,
                           const char* commSettingsFile, const char* initString1,
                           const char* initString2, const char* agentName,
                           const char* agentNamespace, const asTraceLog* traceLog);

/**
 * Stops the dispatch thread (waiting at most shutdownTimeout) and releases the library; the
 * callbacks are not called any more once it returns, and the trace log may then be freed. May be
 * called from a callback (it then does not wait). EQ_Init() may be called again afterwards.
 * @return 0, also when not initialised; #EQ_E_EXCEPTION.
 */
EQ_EXPORT uint32_t EQ_ShutDown(void);

/**
 * Replaces the error callback (NULL: none). Takes effect for the next report.
 * @return 0 or #EQ_E_NOT_INITIALIZED.
 */
EQ_EXPORT uint32_t EQ_RegisterErrorCallback(EQ_ErrorCallback errorCallback);

/**
 * Replaces the five result callbacks; each may be NULL and is then skipped. They run in the
 * dispatch thread, in the order begin-result-set, per item begin-result, result-data per pair,
 * end-result, then end-result-set.
 * @return 0 or #EQ_E_NOT_INITIALIZED.
 */
EQ_EXPORT uint32_t EQ_RegisterResultSetCallbacks(EQ_BeginResultSetCallback beginResultSet,
                                                 EQ_BeginResultCallback beginResult,
                                                 EQ_ResultDataCallback resultData,
                                                 EQ_EndResultCallback endResult,
                                                 EQ_EndResultSetCallback endResultSet);

/**
 * Reads the comm settings file again, or file when it is given (it then becomes the library's
 * comm settings file). Forwarded to the session configuration component.
 * @return 0, #EQ_E_NOT_INITIALIZED or the component's status (a file that cannot be read or
 *         parsed keeps the old settings).
 */
EQ_EXPORT uint32_t EQ_LoadCommSettingsFile(const char* file);
/**
 * Reads the local property file again, or file when it is given; the retry settings and
 * timeouts are read anew. Forwarded to the session configuration component.
 * @return 0, #EQ_E_NOT_INITIALIZED or the component's status.
 */
EQ_EXPORT uint32_t EQ_LoadLocalSettingsFile(const char* file);
/**
 * Writes the current comm settings to file (NULL or empty: the comm settings file), through a
 * temporary file and a rename.
 * @return 0, #EQ_E_NOT_INITIALIZED or the component's status.
 */
EQ_EXPORT uint32_t EQ_SaveCommSettings(const char* file);
/**
 * Sets the language sent with every later request (Accept-Language); NULL or empty removes it.
 * @return 0, #EQ_E_NOT_INITIALIZED or the component's status.
 */
EQ_EXPORT uint32_t EQ_SetLanguage(const char* language);
/**
 * Replaces the current agent id (empty: clears it) and writes it to the agent id file when the
 * settings name one.
 * @return 0, #EQ_E_NOT_INITIALIZED or the component's status (a failed write of the agent id
 *         file, an id with control characters).
 */
EQ_EXPORT uint32_t EQ_SetAgentId(const char* agentId);
/**
 * Records agentId as the last agent id a server accepted, as EQ_SetAgentId() does the current.
 * @return 0, #EQ_E_NOT_INITIALIZED or the component's status.
 */
EQ_EXPORT uint32_t EQ_SetLastGoodAgentId(const char* agentId);

/**
 * Tests whether the servers of the current comm settings answer (a HEAD request each; any HTTP
 * answer counts); blocks the calling thread meanwhile. value1 is the destination to test (0: all)
 * and value2 the time allowed per server in milliseconds (0: connectTimeout, else the comm
 * settings' connect_timeout, else 30000); both are passed through unchanged.
 * @return 0 when a server answers; #EQ_E_NOT_INITIALIZED; or the component's status, such as
 *         0xC7590006 when no server is reachable.
 */
EQ_EXPORT uint32_t EQ_TestCommSettings(uint32_t value1, uint32_t value2);
/**
 * As EQ_TestCommSettings(), with the servers the comm settings file lists now (the file is read,
 * not applied; EQ_LoadCommSettingsFile() applies it).
 * @return as EQ_TestCommSettings(), or 0xC7590003 when the file cannot be read.
 */
EQ_EXPORT uint32_t EQ_TestCommSettingsFile(uint32_t value1, uint32_t value2);

/**
 * Returns to the primary server and wakes the dispatch thread: a request left queued after
 * #EQ_I_RETRIES_EXHAUSTED is sent again.
 * @return 0 or #EQ_E_NOT_INITIALIZED.
 */
EQ_EXPORT uint32_t EQ_ResetToPrimaryController(void);

/**
 * Stores the user and password sent with every later request (copied). Set them while no query
 * is being built. The trace log never shows the password.
 * @return 0, #EQ_E_NOT_INITIALIZED, or #EQ_E_EXCEPTION for a NULL text.
 */
EQ_EXPORT uint32_t EQ_SetAuthentication(const char* user, const char* password);

/**
 * Sets the result filter (the field names the server should return) added to every later
 * observance request: the text is split at every ",", empty pieces kept, nothing trimmed; NULL
 * empties it.
 * @return 0 or #EQ_E_NOT_INITIALIZED.
 */
EQ_EXPORT uint32_t EQ_SetObservanceResultFilter(const char* filter);
/**
 * As EQ_SetObservanceResultFilter(), for every later vulnerability request.
 * @return 0 or #EQ_E_NOT_INITIALIZED.
 */
EQ_EXPORT uint32_t EQ_SetVulnerabilityResultFilter(const char* filter);

/**
 * @name Queries
 * Each query validates its arguments, queues one request and returns at once; the results
 * arrive through the result callbacks with clientData, a failure through the error callback.
 * One query is outstanding at a time: another gets #EQ_E_QUERY_OUTSTANDING until the answer's
 * processing has begun, so the next query may be issued from the begin-result-set callback.
 * A query ends with the end-result-set callback of its answer's last response, with an error
 * callback whose status EQ_STATUS_ENDS_QUERY() accepts, or, for an answer that holds no event
 * query response (a response element of another namespace or version, or none), with no
 * callback at all: a warning in the trace log names what the answer held instead. So a host
 * that waits for an answer bounds its wait.
 * Times are XML Schema dateTime texts in UTC (Query forms) or time_t values taken as UTC (Get
 * forms; with a 32-bit time_t only 1901-12-13T20:45:52Z to 2038-01-19T03:14:07Z).
 * addressRange is one address or two joined by "-" (IPv4 dotted or lower-case IPv6); groupId,
 * addressRange and typeFilter must be shorter than 4096 bytes. fixed (vulnerabilities) asks for
 * fixed ones instead of open ones; count 0 lets the server choose. analysisFlags is a mask of
 * EQ_ANALYSIS_* (0: source and target); typeFilter is a comma-separated list of observance type
 * ids kept (or, with exclude, left out), or NULL for "all but 2 and 8" (exclude is then forced
 * on). Every query returns 0, #EQ_E_INVALID_ARG, #EQ_E_QUERY_OUTSTANDING,
 * #EQ_E_NOT_INITIALIZED, #EQ_E_EXCEPTION (a NULL time text) or a status of the component.
 * @{
 */
/** Vulnerabilities of the hosts in addressRange, last seen between startTime and endTime. */
EQ_EXPORT uint32_t EQ_QueryVulnsByAddress(const char* startTime, const char* endTime,
                                          const char* addressRange, uint8_t fixed, int32_t count,
                                          uint32_t clientData);
/** Vulnerabilities of the hosts in the group groupId. */
EQ_EXPORT uint32_t EQ_QueryVulnsByGroup(const char* startTime, const char* endTime,
                                        const char* groupId, uint8_t fixed, int32_t count,
                                        uint32_t clientData);
/** EQ_QueryVulnsByAddress() with time_t bounds. */
EQ_EXPORT uint32_t EQ_GetVulnsByAddress(time_t startTime, time_t endTime, const char* addressRange,
                                        uint8_t fixed, int32_t count, uint32_t clientData);
/** EQ_QueryVulnsByGroup() with time_t bounds. */
EQ_EXPORT uint32_t EQ_GetVulnsByGroup(time_t startTime, time_t endTime, const char* groupId,
                                      uint8_t fixed, int32_t count, uint32_t clientData);
/** Observances whose analysed addresses fall in addressRange. */
EQ_EXPORT uint32_t EQ_QueryObservancesByAddress(const char* startTime, const char* endTime,
                                                const char* addressRange, int32_t analysisFlags,
                                                const char* typeFilter, uint8_t exclude,
                                                uint32_t count, uint32_t clientData);
/** Observances whose analysed addresses belong to the group groupId. */
EQ_EXPORT uint32_t EQ_QueryObservancesByGroup(const char* startTime, const char* endTime,
                                              const char* groupId, int32_t analysisFlags,
                                              const char* typeFilter, uint8_t exclude,
                                              uint32_t count, uint32_t clientData);
/** EQ_QueryObservancesByAddress() with time_t bounds. */
EQ_EXPORT uint32_t EQ_GetObservanceSummaryByAddress(time_t startTime, time_t endTime,
                                                    const char* addressRange, int32_t analysisFlags,
                                                    const char* typeFilter, uint8_t exclude,
                                                    uint32_t count, uint32_t clientData);
/** EQ_QueryObservancesByGroup() with time_t bounds. */
EQ_EXPORT uint32_t EQ_GetObservanceSummaryByGroup(time_t startTime, time_t endTime,
                                                  const char* groupId, int32_t analysisFlags,
                                                  const char* typeFilter, uint8_t exclude,
                                                  uint32_t count, uint32_t clientData);
/** @} */

/**
 * Allocates memory the application and the library exchange; free it with EQ_Free() before
 * EQ_ShutDown().
 * @return the block, or NULL when the library is not initialised or the allocation fails.
 */
EQ_EXPORT void* EQ_Allocate(uint32_t size);
/** Frees a block of EQ_Allocate(); does nothing for NULL or when not initialised. */
EQ_EXPORT void EQ_Free(void* block);

/**
 * Folder of the session configuration component; takes effect at the next EQ_Init(). NULL is
 * ignored. Without it the library looks beside its own file, then in the library folder of the
 * prefix it was built for.
 */
EQ_EXPORT void EQ_SetMSLLibPath(const char* path);
/**
 * Extension of the component's external signature file (such as ".sig"); when set, only that
 * file counts. Takes effect at the next EQ_Init(); NULL is ignored.
 */
EQ_EXPORT void EQ_SetMSLExtSigFileExtension(const char* extension);

/**
 * Converts an XML Schema dateTime text in UTC ("Z" or no zone) to a time_t. Needs no
 * initialisation; any thread.
 * @return 0, or #EQ_E_INVALID_ARG for NULL arguments, a zone other than UTC or a time that
 *         time_t cannot hold (with a 32-bit time_t: before 1901-12-13T20:45:52Z or after
 *         2038-01-19T03:14:07Z).
 */
EQ_EXPORT uint32_t EQ_ConvertUTCToTime(const char* utcTime, time_t* result);

#ifdef __cplusplus
}
#endif

#endif /* ZAV_EVENT_QUERY_SVCS_H */
