// Failures of the quorvane command that carry a system status.
#pragma once
#include <qv/status_text.h>
#include <windef.h>

#include <string>

namespace qv::cli {

// Throws Failure("<what>: <system text>").
[[noreturn]] void FailWithStatus(const std::string& what, DWORD status);

}  // namespace qv::cli
