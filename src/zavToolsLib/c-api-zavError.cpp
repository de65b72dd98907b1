#include "zavToolsLib/c-api-zavError.h"

#include <cstring>

#include "zavToolsLib/zavError.h"
#include "zavToolsLib/zavStatus.h"

namespace zavToolsLib {

uint32_t zavGetErrorMsg(uint32_t status, char* buffer, uint32_t size) {
    if (buffer == nullptr || size < 2) {
        return ZAV_E_INVALID_ARG;
    }
    std::memset(buffer, 0, size);
    ZAVError error(status);
    const char* text = error.GetText(ZAV_DEFAULT_LINE_WIDTH);
    const size_t length = std::strlen(text);
    if (length < size) {
        std::memcpy(buffer, text, length + 1);
    }
    return ZAV_OK;
}

}  // namespace zavToolsLib
