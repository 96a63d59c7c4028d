// The system's texts for the status codes this system meets, in our own wording.
#pragma once
#include <windef.h>

namespace qv {

// The text for `code` without its closing line break, or nullptr when the table has none.
// HRESULTs that wrap a Win32 code (0x8007xxxx) share that code's text.
const char* SystemMessageText(DWORD code);

}  // namespace qv
