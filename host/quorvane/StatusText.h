// Failures of the quorvane command that carry a system status.
#pragma once
#include <qv/status_text.h>
#include <windef.h>

#include <string>

namespace qv::cli {

// For the commands that only read the state, called once their arguments are checked: they
// never create a prefix, so a folder without an installation is refused with a Failure that
// says how to get one.
void RequireInstallation();

// The words for a permission failure on a file of the prefix.
std::string PermissionText(const std::string& path);

// Throws Failure("<what>: <system text>"). A failure of the registry store names the store's
// file; one the store's permissions explain says so in words instead.
[[noreturn]] void FailWithStatus(const std::string& what, DWORD status);

}  // namespace qv::cli
