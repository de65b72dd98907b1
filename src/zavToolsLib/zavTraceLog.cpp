#include "zavToolsLib/zavTraceLog.h"

namespace zavToolsLib {

void Log(const asTraceLog* log, uint32_t level, const char* message, const char* function) {
    if (!LogEnabled(log, level)) {
        return;
    }
    try {
        log->trace(log->context, level, message != nullptr ? message : "",
                   function != nullptr ? function : "");
    } catch (...) {
        // A trace function that throws must not take the library down with it.
    }
}

}  // namespace zavToolsLib
