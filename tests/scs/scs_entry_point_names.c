/* Prints the names of the interface's entry points, one a line, from its X-macro list. */
#include <stdio.h>

#include "zavSessionConfigSvcs.h"

#define ZAV_SCS_PRINT_NAME(kind, name, params) puts(#name);

int main(void) {
    ZAV_SCS_ENTRY_POINTS(ZAV_SCS_PRINT_NAME)
    return 0;
}
