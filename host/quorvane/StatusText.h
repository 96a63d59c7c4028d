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

// Whether `status` is the registry store's own failure: its file can't be opened, written or read.
bool IsStoreFailure(DWORD status);

// "<what>: <system text>". A failure of the registry store names the store's file; one the
// store's permissions explain says so in words instead.
std::string StatusFailureText(const std::string& what, DWORD status);
// Throws Failure(StatusFailureText(what, status)).
[[noreturn]] void FailWithStatus(const std::string& what, DWORD status);
// Throws a failure naming the registry store's file when this process may not write it (its
// permissions, or a read-only file): the usual reason a component's store fails, told instead
// of the component's own status. `what` is what was being done.
void FailIfStoreIsReadOnly(const std::string& what);

// " in <prefix>": where a port, a printer or a job that is not found was looked for.
std::string InPrefix();

}  // namespace qv::cli
