// The system's text for a status code, for messages of the quorvane command.
#pragma once
#include <windef.h>

#include <string>

namespace qv::cli {

// The message without its closing line break; "status N" when the system has no text.
std::string StatusText(DWORD status);

// Throws Failure("<what>: <system text>").
[[noreturn]] void FailWithStatus(const std::string& what, DWORD status);

}  // namespace qv::cli
