// The one translation from the host's errno values to Win32 status codes, for every file call.
#pragma once
#include <windef.h>

#include <string>

namespace qv::files {

// The Win32 status for `error`. ENOENT gives ERROR_FILE_NOT_FOUND here; calls that know the
// path use ErrorForPath so that a missing folder on the way reads ERROR_PATH_NOT_FOUND.
DWORD Win32ErrorFromErrno(int error);

// As above, but ENOENT becomes ERROR_PATH_NOT_FOUND when the folder that should hold
// `hostPath` is itself missing, as Windows tells the two apart.
DWORD ErrorForPath(int error, const std::string& hostPath);

// The folder part of a host path ("/a/b" -> "/a", "/a" -> "/").
std::string ParentFolder(const std::string& hostPath);

}  // namespace qv::files
