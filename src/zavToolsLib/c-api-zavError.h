// The status-text service behind the exported EQ_GetErrorMsg.
#pragma once

#include <cstdint>

namespace zavToolsLib {

// Writes the text of status (catalog text, blank, "[ID=...]") into buffer. Returns 0, also
// when the text does not fit (buffer then holds the empty string); 0xC7210003 when buffer is
// null or size is below 2. Needs no initialisation of the library.
uint32_t zavGetErrorMsg(uint32_t status, char* buffer, uint32_t size);

}  // namespace zavToolsLib
