// The system's text for a status code, for messages on the Linux side (commands, job errors).
#pragma once
#include <windef.h>

#include <string>

namespace qv {

// The system's message without its closing line break ("The printer already exists."), or
// "Error N." when the system has no text for the code.
std::string StatusText(DWORD code);

}  // namespace qv
