/*
 * zavSessionConfigSvcs.h - the entry points of libzavSessionConfigSvcs5.so, the session
 * configuration component (destinations and their server lists, local settings, HTTP transport,
 * agent id). The event query library binds them at run time through the loader's slot table; the
 * component exports them with C linkage. This header is all the two share.
 *
 * Every entry point except SCS_Allocate, SCS_Free, SCS_SetMSLLibPath and
 * SCS_SetMSLExtSigFileExtension returns a status, 0 for success. Texts and buffers handed out by
 * the component are allocated by it and released by the receiver with SCS_Free.
 */
#ifndef ZAV_SESSION_CONFIG_SVCS_H
#define ZAV_SESSION_CONFIG_SVCS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct asTraceLog;

/* Called with the id of a destination whose settings were reloaded. */
typedef uint32_t (*SCS_SettingsChangedCallback)(int32_t destinationId);
/* Server side: called for every request posted to a listener (not used by the client). */
typedef uint32_t (*SCS_OnPostDataCallback)(void* context, void* request, const char* data,
                                           uint32_t length, char** response,
                                           uint32_t* responseLength);
typedef uint32_t (*SCS_OnGetFileCallback)(void* context, void* request, const char* path);

/* Statuses of the component itself (besides 0xC7210001 array or buffer too small, 0xC7210003 bad
 * argument, 0xC7210004 no memory, 0xC7210005 unexpected exception). A post or reachability test
 * stopped by the last SCS_ShutDown returns SCS_E_NOT_INITIALIZED. */
#define SCS_E_NOT_SUPPORTED 0xC7590001u      /* entry point not supported by this component */
#define SCS_E_BAD_DESTINATION 0xC7590002u    /* unknown destination id */
#define SCS_E_SETTINGS_FILE 0xC7590003u      /* a settings file cannot be read or parsed */
#define SCS_E_KEY_NOT_FOUND 0xC7590004u      /* no such section/key in the local settings */
#define SCS_E_BAD_SERVER_INDEX 0xC7590005u   /* server index outside the server list */
#define SCS_E_CONNECT 0xC7590006u            /* connection to the server failed or was refused */
#define SCS_E_TIMEOUT 0xC7590007u            /* connect or transfer timed out */
#define SCS_E_HTTP_STATUS 0xC7590008u        /* the server answered with an HTTP error status */
#define SCS_E_TRANSPORT 0xC7590009u          /* any other transport failure */
#define SCS_E_NOT_INITIALIZED 0xC759000Au    /* SCS_Init has not been called */
#define SCS_E_NO_AGENT_ID 0xC759000Bu        /* no agent id is stored */
#define SCS_E_WRITE_FAILED 0xC759000Cu       /* a settings file cannot be written */
#define SCS_E_BAD_LISTENER 0xC759000Du       /* unknown listener id */
#define SCS_E_RESPONSE_TOO_LARGE 0xC759000Eu /* the answer is larger than max_response_size */
#define SCS_I_SERVER_BUSY 0x4759001Fu        /* HTTP 503: retry later on the same server */

/* Indexes into the timeouts block handed to SCS_PostData (milliseconds; 0 = library default). */
#define SCS_TIMEOUT_CONNECT 0
#define SCS_TIMEOUT_TRANSFER 1
#define SCS_TIMEOUT_DNS_CACHE 2
#define SCS_TIMEOUT_SHUTDOWN 3

/*
 * All 81 entry points in binding order: X(kind, name, parameter types). kind is STATUS (returns
 * uint32_t), POINTER (returns void*) or VOID.
 */
#define ZAV_SCS_ENTRY_POINTS(X)                                                                   \
    X(POINTER, SCS_Allocate, (uint32_t size))                                                     \
    X(VOID, SCS_Free, (void* block))                                                              \
    X(STATUS, SCS_LoadLocalSettingsFile, (int32_t destinationId, const char* file))               \
    X(STATUS, SCS_RetrieveLocalSettingsValue,                                                     \
      (int32_t destinationId, const char* section, const char* key, char** value))                \
    X(STATUS, SCS_Init,                                                                           \
      (const char* version, const char* init1, const char* init2, const struct asTraceLog* log))  \
    X(STATUS, SCS_ShutDown, (void))                                                               \
    X(STATUS, SCS_RegisterSettingsChanged, (SCS_SettingsChangedCallback callback, void* context)) \
    X(STATUS, SCS_UnregisterSettingsChanged, (SCS_SettingsChangedCallback callback))              \
    X(STATUS, SCS_RegisterCertificateInfo,                                                        \
      (const char* certificateFile, const char* keyFile, const char* password))                   \
    X(STATUS, SCS_UnregisterCertificateInfo, (void))                                              \
    X(STATUS, SCS_LoadServers, (int32_t destinationId, const char* servers))                      \
    X(STATUS, SCS_GetAgentId, (char** agentId))                                                   \
    X(STATUS, SCS_SetAgentId, (const char* agentId))                                              \
    X(STATUS, SCS_SetLastGoodAgentId, (const char* agentId))                                      \
    X(STATUS, SCS_GetServerCount, (int32_t destinationId, uint32_t * count))                      \
    X(STATUS, SCS_GetServerInfo, (int32_t destinationId, uint32_t index, char** url))             \
    X(STATUS, SCS_AddServer, (int32_t destinationId, const char* url))                            \
    X(STATUS, SCS_DeleteServer, (int32_t destinationId, uint32_t index))                          \
    X(STATUS, SCS_SetGroupnameHint, (const char* groupName))                                      \
    X(STATUS, SCS_AddDestinationFiles,                                                            \
      (const char* localPropertyFile, const char* commSettingsFile, int32_t* destinationId))      \
    X(STATUS, SCS_AddDestination, (const char* name, int32_t* destinationId))                     \
    X(STATUS, SCS_GetDestinationCount, (uint32_t * count))                                        \
    X(STATUS, SCS_GetDestinations, (int32_t * ids, uint32_t * count))                             \
    X(STATUS, SCS_RemoveDestination, (int32_t destinationId))                                     \
    X(STATUS, SCS_RemoveDestinations, (void))                                                     \
    X(STATUS, SCS_LoadLocalSettings, (int32_t destinationId, const char* text))                   \
    X(STATUS, SCS_GetCommSettingsInfo, (int32_t destinationId, char** info))                      \
    X(STATUS, SCS_SaveCommSettings, (int32_t destinationId, const char* file))                    \
    X(STATUS, SCS_LoadCommSettings, (int32_t destinationId, const char* text))                    \
    X(STATUS, SCS_LoadCommSettingsFile, (int32_t destinationId, const char* file))                \
    X(STATUS, SCS_TestCommSettings, (uint32_t value1, uint32_t value2, const char* section))      \
    X(STATUS, SCS_TestCommSettingsFile, (uint32_t value1, uint32_t value2, const char* section))  \
    X(STATUS, SCS_PostData,                                                                       \
      (int32_t destinationId, int32_t serverIndex, const char* path, uint32_t flags,              \
       const char* contentType, const char* data, uint32_t length, const uint32_t* timeouts,      \
       char** response, uint32_t* responseLength))                                                \
    X(STATUS, SCS_HttpPostData,                                                                   \
      (int32_t destinationId, int32_t serverIndex, const char* path, uint32_t headers,            \
       const char* data, uint32_t length, const uint32_t* timeouts, char** response,              \
       uint32_t* responseLength))                                                                 \
    X(STATUS, SCS_PostDataFile,                                                                   \
      (int32_t destinationId, int32_t serverIndex, const char* path, const char* contentType,     \
       const char* file, const uint32_t* timeouts, char** response, uint32_t* responseLength))    \
    X(STATUS, SCS_HttpPostDataFile,                                                               \
      (int32_t destinationId, int32_t serverIndex, const char* path, uint32_t headers,            \
       const char* file, const uint32_t* timeouts, char** response, uint32_t* responseLength))    \
    X(STATUS, SCS_SetLanguage, (int32_t destinationId, const char* language))                     \
    X(STATUS, SCS_VerifySignedFileEx, (const char* file, const char* signatureFile))              \
    X(STATUS, SCS_VerifySignedFile, (const char* file))                                           \
    X(STATUS, SCS_VerifyAuthenticodeFile, (const char* file))                                     \
    X(STATUS, SCS_StripSignedFile, (const char* file, const char* outputFile))                    \
    X(STATUS, SCS_GetErrorMsg, (uint32_t status, char* buffer, uint32_t size))                    \
    X(STATUS, SCS_SERVER_Init,                                                                    \
      (const char* version, const char* init1, const char* init2, const struct asTraceLog* log))  \
    X(STATUS, SCS_SERVER_ShutDown, (void))                                                        \
    X(STATUS, SCS_SERVER_SetAgentId, (const char* agentId))                                       \
    X(STATUS, SCS_SERVER_SetLastGoodAgentId, (const char* agentId))                               \
    X(STATUS, SCS_SERVER_LoadLocalSettingsFile, (int32_t listenerId, const char* file))           \
    X(STATUS, SCS_SERVER_RegisterSettingsChanged,                                                 \
      (SCS_SettingsChangedCallback callback, void* context))                                      \
    X(STATUS, SCS_SERVER_UnregisterSettingsChanged, (SCS_SettingsChangedCallback callback))       \
    X(STATUS, SCS_SERVER_StartServer, (int32_t listenerId))                                       \
    X(STATUS, SCS_SERVER_AddListenerFiles,                                                        \
      (const char* localPropertyFile, const char* listenerSettingsFile, int32_t* listenerId))     \
    X(STATUS, SCS_SERVER_AddListener, (const char* name, int32_t* listenerId))                    \
    X(STATUS, SCS_SERVER_GetListenerCount, (uint32_t * count))                                    \
    X(STATUS, SCS_SERVER_GetListeners, (int32_t * ids, uint32_t * count))                         \
    X(STATUS, SCS_SERVER_RemoveListener, (int32_t listenerId))                                    \
    X(STATUS, SCS_SERVER_RemoveListeners, (void))                                                 \
    X(STATUS, SCS_SERVER_LoadLocalSettings, (int32_t listenerId, const char* text))               \
    X(STATUS, SCS_SERVER_RetrieveLocalSettingsValue,                                              \
      (int32_t listenerId, const char* section, const char* key, char** value))                   \
    X(STATUS, SCS_SERVER_GetListenerSettingsInfo, (int32_t listenerId, char** info))              \
    X(STATUS, SCS_SERVER_LoadListenerSettings, (int32_t listenerId, const char* text))            \
    X(STATUS, SCS_SERVER_LoadListenerSettingsFile, (int32_t listenerId, const char* file))        \
    X(STATUS, SCS_SERVER_RegisterOnPostData,                                                      \
      (int32_t listenerId, SCS_OnPostDataCallback callback, void* context))                       \
    X(STATUS, SCS_SERVER_RegisterOnGetFile,                                                       \
      (int32_t listenerId, SCS_OnGetFileCallback callback, void* context))                        \
    X(STATUS, SCS_SERVER_GetRequestHeader, (void* request, const char* name, char** value))       \
    X(STATUS, SCS_SERVER_AddResponseHeader, (void* request, const char* name, const char* value)) \
    X(STATUS, SCS_SERVER_SetHttpStatus, (void* request, uint32_t httpStatus))                     \
    X(STATUS, SCS_SERVER_StopServer, (int32_t listenerId))                                        \
    X(STATUS, SCS_SERVER_GetErrorMsg, (uint32_t status, char* buffer, uint32_t size))             \
    X(VOID, SCS_SetMSLLibPath, (const char* path))                                                \
    X(VOID, SCS_SetMSLExtSigFileExtension, (const char* extension))                               \
    X(STATUS, SCS_HttpHeadersNew, (uint32_t * headers))                                           \
    X(STATUS, SCS_HttpHeadersFree, (uint32_t headers))                                            \
    X(STATUS, SCS_HttpHeadersClear, (uint32_t headers))                                           \
    X(STATUS, SCS_HttpHeadersAdd, (uint32_t headers, const char* name, const char* value))        \
    X(STATUS, SCS_HttpHeadersAddLine, (uint32_t headers, const char* line))                       \
    X(STATUS, SCS_HttpHeadersGet, (uint32_t headers, const char* name, char** value))             \
    X(STATUS, SCS_HttpHeadersIterationBegin, (uint32_t headers, uint32_t * iterator))             \
    X(STATUS, SCS_HttpHeadersIterationEnd, (uint32_t headers, uint32_t iterator))                 \
    X(STATUS, SCS_HttpHeadersIterationNext, (uint32_t headers, uint32_t iterator))                \
    X(STATUS, SCS_HttpHeadersIterationGet,                                                        \
      (uint32_t headers, uint32_t iterator, char** name, char** value))                           \
    X(STATUS, SCS_HttpHeadersCopy, (uint32_t source, uint32_t * copy))

#define ZAV_SCS_RESULT_STATUS uint32_t
#define ZAV_SCS_RESULT_POINTER void*
#define ZAV_SCS_RESULT_VOID void

/* Function pointer types: SCS_Init_t and so on. */
/* NOLINTNEXTLINE(bugprone-macro-parentheses): params brings its own parentheses */
#define ZAV_SCS_TYPEDEF(kind, name, params) typedef ZAV_SCS_RESULT_##kind(*name##_t) params;
ZAV_SCS_ENTRY_POINTS(ZAV_SCS_TYPEDEF)
#undef ZAV_SCS_TYPEDEF

/* Number of entry points. */
/* NOLINTNEXTLINE(bugprone-macro-parentheses): the sum 0 +1 +1 ... takes no parentheses */
#define ZAV_SCS_COUNT_ONE(kind, name, params) +1
enum { ZAV_SCS_ENTRY_POINT_COUNT = 0 ZAV_SCS_ENTRY_POINTS(ZAV_SCS_COUNT_ONE) };
#undef ZAV_SCS_COUNT_ONE

#ifdef __cplusplus
}
#endif

#endif /* ZAV_SESSION_CONFIG_SVCS_H */
