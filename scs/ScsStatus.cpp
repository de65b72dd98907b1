#include "ScsStatus.h"

namespace zavscs {

const char* StatusText(uint32_t status) {
    switch (status) {
        case 0:
            return "Success";
        case SCS_E_BUFFER_TOO_SMALL:
            return "The buffer is too small";
        case SCS_E_INVALID_ARG:
            return "Invalid argument";
        case SCS_E_NO_MEMORY:
            return "Out of memory";
        case SCS_E_EXCEPTION:
            return "Unexpected exception";
        case SCS_E_NOT_SUPPORTED:
            return "Not supported";
        case SCS_E_BAD_DESTINATION:
            return "Unknown destination";
        case SCS_E_SETTINGS_FILE:
            return "A settings file cannot be read or parsed";
        case SCS_E_KEY_NOT_FOUND:
            return "No such key in the local settings";
        case SCS_E_BAD_SERVER_INDEX:
            return "Server index outside the server list";
        case SCS_E_CONNECT:
            return "Cannot connect to the server";
        case SCS_E_TIMEOUT:
            return "The connection or transfer timed out";
        case SCS_E_HTTP_STATUS:
            return "The server answered with an HTTP error status";
        case SCS_E_TRANSPORT:
            return "Transport failure";
        case SCS_E_NOT_INITIALIZED:
            return "The component is not initialized";
        case SCS_E_NO_AGENT_ID:
            return "No agent id is stored";
        case SCS_E_WRITE_FAILED:
            return "A settings file cannot be written";
        case SCS_E_BAD_LISTENER:
            return "Unknown listener";
        case SCS_E_RESPONSE_TOO_LARGE:
            return "The answer is larger than max_response_size";
        case SCS_I_SERVER_BUSY:
            return "The server is busy; retry later";
        default:
            return nullptr;
    }
}

}  // namespace zavscs
