// Wide text in the system's 8-bit code page, for the log file and standard output.
#pragma once
#include <windows.h>

#include <string>
#include "win/WideString.h"

namespace Quorvane {

std::string CodePageText(const win::WideString& text);

// Control characters shown as visible escapes ("\r", "\n", "\xNN"), so that no text can start a
// line of its own in the log; other text unchanged.
win::WideString EscapeControlCharacters(const win::WideString& text);

}  // namespace Quorvane
