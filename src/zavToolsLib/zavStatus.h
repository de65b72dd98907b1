// Status values used inside the library. A status is severity (bits 31-30), facility (27-16) and
// code (15-0); 0 is success. Every value here has a text in catalog/zav-MgmtSvcs.msg.
#pragma once

#include <cstdint>

namespace zavToolsLib {

constexpr uint32_t ZAV_OK = 0x00000000u;

// General facility 0x721.
constexpr uint32_t ZAV_E_BUFFER_FULL = 0xC7210001u;
constexpr uint32_t ZAV_E_INVALID_ARG = 0xC7210003u;
constexpr uint32_t ZAV_E_OUT_OF_MEMORY = 0xC7210004u;
constexpr uint32_t ZAV_E_EXCEPTION = 0xC7210005u;
constexpr uint32_t ZAV_E_NO_SERVER = 0xC7210009u;
constexpr uint32_t ZAV_I_TIMEOUT = 0x4721000Eu;
constexpr uint32_t ZAV_E_NONCHARACTER = 0xC7210014u;
constexpr uint32_t ZAV_E_UTF16_RANGE = 0xC7210016u;
constexpr uint32_t ZAV_E_UNPAIRED_SURROGATE = 0xC7210017u;
constexpr uint32_t ZAV_E_ILL_FORMED_UTF8 = 0xC7210019u;
constexpr uint32_t ZAV_E_UTF8_SURROGATE = 0xC721001Au;
constexpr uint32_t ZAV_E_FILE_OPEN = 0xC7210021u;
constexpr uint32_t ZAV_E_FACILITY_72B = 0xC721002Du;
constexpr uint32_t ZAV_E_FACILITY_800 = 0xC721002Eu;
constexpr uint32_t ZAV_E_TRUNCATED_INPUT = 0xC7210032u;
constexpr uint32_t ZAV_E_BAD_CODE_POINT = 0xC7210034u;
constexpr uint32_t ZAV_E_LOCK_NOT_SET_UP = 0xC7210035u;
constexpr uint32_t ZAV_E_FOLDER_CREATE = 0xC7210037u;
constexpr uint32_t ZAV_E_RETRY_NOW = 0xC7210038u;
constexpr uint32_t ZAV_E_NOT_SUPPORTED = 0xC721003Cu;
constexpr uint32_t ZAV_E_NOT_LOADED = 0xC7210042u;
constexpr uint32_t ZAV_I_LOCK_NOT_HELD = 0x4721003Bu;

// Component loading and file signatures, facility 0x736.
constexpr uint32_t ZAV_E_LIB_CLOSE = 0xC7360001u;
constexpr uint32_t ZAV_E_LIB_SYMBOL = 0xC7360002u;
constexpr uint32_t ZAV_E_LIB_OPEN = 0xC7360004u;
constexpr uint32_t ZAV_E_SIG_MISSING = 0xC7360010u;
constexpr uint32_t ZAV_E_SIG_MALFORMED = 0xC7360011u;
constexpr uint32_t ZAV_E_SIG_MISMATCH = 0xC7360012u;
constexpr uint32_t ZAV_E_CRYPTO_INIT = 0xC7360013u;
constexpr uint32_t ZAV_E_SIG_FILE_UNREADABLE = 0xC7360014u;

// Session configuration component and transport, facility 0x759. The component returns these
// as its SCS_E_ statuses (same values); listed here so the toolkit can name them.
constexpr uint32_t ZAV_E_SCS_NOT_SUPPORTED = 0xC7590001u;
constexpr uint32_t ZAV_E_SCS_BAD_DESTINATION = 0xC7590002u;
constexpr uint32_t ZAV_E_SCS_SETTINGS_FILE = 0xC7590003u;
constexpr uint32_t ZAV_E_SCS_KEY_NOT_FOUND = 0xC7590004u;
constexpr uint32_t ZAV_E_SCS_BAD_SERVER_INDEX = 0xC7590005u;
constexpr uint32_t ZAV_E_HTTP_CONNECT = 0xC7590006u;  // failed or refused
constexpr uint32_t ZAV_E_HTTP_TIMEOUT = 0xC7590007u;
constexpr uint32_t ZAV_E_HTTP_STATUS = 0xC7590008u;
constexpr uint32_t ZAV_E_HTTP_TRANSPORT = 0xC7590009u;
constexpr uint32_t ZAV_E_SCS_NOT_INITIALIZED = 0xC759000Au;
constexpr uint32_t ZAV_E_SCS_NO_AGENT_ID = 0xC759000Bu;
constexpr uint32_t ZAV_E_SCS_WRITE_FAILED = 0xC759000Cu;
constexpr uint32_t ZAV_E_SCS_BAD_LISTENER = 0xC759000Du;
constexpr uint32_t ZAV_E_RESPONSE_TOO_LARGE = 0xC759000Eu;  // over the comm settings' limit

}  // namespace zavToolsLib
