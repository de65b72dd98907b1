/*
 * A host of an installed library: opens argv[1] and calls EQ_Init without EQ_SetMSLLibPath. The
 * library must find the signed component installed next to it (argv[2]) and load that file.
 *   installed_host LIBRARY COMPONENT LOCAL_PROPERTY_FILE COMM_SETTINGS_FILE
 */
#include <dlfcn.h>
#include <stdio.h>

#include "zavEventQuerySvcs.h"

static int32_t Trace(uint32_t context, uint32_t level, const char* message, const char* function) {
    (void)context;
    (void)level;
    fprintf(stderr, "%s: %s\n", function, message);
    return 0;
}

typedef uint32_t (*InitFunction)(const char*, const char*, const char*, const char*, const char*,
                                 const char*, const char*, const asTraceLog*);
typedef uint32_t (*ShutDownFunction)(void);

int main(int argc, char** argv) {
    static const asTraceLog traceLog = {0, EQ_TRACE_ERROR | EQ_TRACE_WARNING, Trace};
    void* library = argc == 5 ? dlopen(argv[1], RTLD_NOW | RTLD_LOCAL) : NULL;
    InitFunction init;
    void* component;
    uint32_t status;

    if (library == NULL) {
        fprintf(stderr, "usage: installed_host LIBRARY COMPONENT LOCAL_FILE COMM_FILE (%s)\n",
                argc == 5 ? dlerror() : "arguments");
        return 2;
    }
    init = (InitFunction)dlsym(library, "EQ_Init");
    status = init("5.0", argv[3], argv[4], "installed_host", NULL, "host", "urn:host", &traceLog);
    if (status != 0) {
        fprintf(stderr, "EQ_Init returned 0x%08X\n", (unsigned)status);
        return 1;
    }
    /* The installed file itself, not another copy, is the one loaded. */
    component = dlopen(argv[2], RTLD_NOW | RTLD_NOLOAD);
    if (component == NULL) fprintf(stderr, "%s is not the component that was loaded\n", argv[2]);
    ((ShutDownFunction)dlsym(library, "EQ_ShutDown"))();
    return component != NULL ? 0 : 1;
}
