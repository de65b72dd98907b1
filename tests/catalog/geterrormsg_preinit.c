/*
 * EQ_GetErrorMsg through the shared object before EQ_Init: the library opened its catalog from
 * NLSPATH while it was loaded. The expected text is read from the compiled catalog (argv[1]).
 */
#include <nl_types.h>
#include <stdio.h>
#include <string.h>

#include "zavEventQuerySvcs.h"

int main(int argc, char** argv) {
    char expected[512];
    char buffer[256];
    const nl_catd catalog = argc == 2 ? catopen(argv[1], 0) : (nl_catd)-1;
    /* 0xC7210003: set 0x721 - 0x6FC, message 3. */
    const char* text = catalog == (nl_catd)-1 ? NULL : catgets(catalog, 37, 3, NULL);
    uint32_t status;

    if (text == NULL) {
        fprintf(stderr, "usage: %s catalog.cat (one with a text for 0xC7210003)\n", argv[0]);
        return 2;
    }
    snprintf(expected, sizeof expected, "%s [ID=0xc7210003]", text);
    catclose(catalog);

    status = EQ_GetErrorMsg(EQ_E_INVALID_ARG, buffer, (uint32_t)sizeof buffer);
    if (status != 0 || strcmp(buffer, expected) != 0) {
        fprintf(stderr, "EQ_GetErrorMsg returned 0x%08x \"%s\"\nexpected \"%s\"\n",
                (unsigned)status, buffer, expected);
        return 1;
    }
    printf("%s\n", buffer);
    return 0;
}
