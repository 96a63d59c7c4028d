// Windows paths on the host. Linux-side only: hosts and tests use it; the platform's file calls
// use the same mapping for every path they are given.
#pragma once
#include <windef.h>

#include <string>
#include <string_view>

namespace qv {

// The registry key that holds the drive table: one text value per drive ("C:" = host folder).
inline constexpr const char* kDosDevicesKey =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\DOS Devices";

// Turns a Windows path (UTF-8) into the host path it names. "\" and "/" both separate; a drive
// letter ("C:\Jobs\a.prn", "c:/jobs") is looked up in the drive table; an absolute host path
// ("/tmp/x") is taken as it is. Returns 0 and sets `hostPath`, or a Win32 status:
//   ERROR_PATH_NOT_FOUND  empty, relative ("Jobs\x", "C:x", "\x") or on an unmapped drive;
//   ERROR_BAD_PATHNAME    a network path ("\\server\share\x");
//   ERROR_INVALID_NAME    an element "." or "..", or a NUL character in the path.
// Repeated separators count as one; a trailing separator is kept. Never resolves anything
// against the working directory.
DWORD MapWindowsPath(std::string_view windowsPath, std::string& hostPath);

}  // namespace qv
