// The exported EQ_ functions. Each one catches everything: nothing thrown crosses the C interface.
#include "zavEventQuerySvcs.h"

#include "zavToolsLib/c-api-zavError.h"
#include "zavToolsLib/zavStatus.h"

using namespace zavToolsLib;

uint32_t EQ_GetErrorMsg(uint32_t status, char* buffer, uint32_t bufferSize) {
    try {
        return zavGetErrorMsg(status, buffer, bufferSize);
    } catch (...) {
        return ZAV_E_EXCEPTION;
    }
}
