// Wide text in the system's 8-bit code page, for the log file and standard output.
#pragma once
#include <windows.h>

#include <string>
#include "win/ControlEscapes.h"
#include "win/WideString.h"

namespace Quorvane {

using win::EscapeControlCharacters;

std::string CodePageText(const win::WideString& text);

}  // namespace Quorvane
