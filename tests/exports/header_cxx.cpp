// The public header must compile as C++ with C linkage for its functions.
#include "zavEventQuerySvcs.h"

extern "C" uint32_t zav_header_cxx_check() {
    char buf[64];
    return EQ_GetErrorMsg(EQ_E_INVALID_ARG, buf, sizeof buf);
}
