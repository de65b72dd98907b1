// Declarations of the 81 entry points, generated from the interface's X-macro list so that every
// definition in this component is checked against the interface's signature and exported.
#ifndef ZAV_SCS_ENTRY_POINTS_H
#define ZAV_SCS_ENTRY_POINTS_H

#include "zavSessionConfigSvcs.h"

#define ZAV_SCS_DECLARE(kind, name, params) \
    extern "C" __attribute__((visibility("default"))) ZAV_SCS_RESULT_##kind name params;
ZAV_SCS_ENTRY_POINTS(ZAV_SCS_DECLARE)
#undef ZAV_SCS_DECLARE

#endif
