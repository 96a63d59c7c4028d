// What every exported file call shares: no exception leaves it, failures set the last error,
// and path arguments go through the one path mapping.
#pragma once
#include <winbase.h>

#include <string>
#include <string_view>
#include <sys/types.h>

namespace qv::files {

// Sets the last error and hands back the call's failure result.
template <class Result>
Result Fail(DWORD error, Result failure) {
  SetLastError(error);
  return failure;
}

// Runs `body`; an exception (only an allocation can throw here) becomes `failure` with
// ERROR_NOT_ENOUGH_MEMORY, so none crosses the exported entry point.
template <class Result, class Body>
Result Guarded(Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failure;
  }
}

// What Windows shows as FILE_ATTRIBUTE_READONLY: a file without any write permission bit. It
// describes the file, so it holds for the superuser too, whom the bits themselves don't bind.
inline bool IsReadOnlyMode(mode_t mode) { return (mode & 0222) == 0; }

// The host path for a path argument; false with the last error set when it can't be mapped.
// A null pointer counts as an empty path.
bool HostPathFromArgument(LPCSTR path, std::string& hostPath);
bool HostPathFromArgument(LPCWSTR path, std::string& hostPath);

// For the calls that write (a copy, a new folder): as HostPathFromArgument, and it notes for the
// next reported failure on this thread why the path has no host path; on success it forgets
// what an earlier call noted.
bool NotedHostPathFromArgument(LPCSTR path, std::string& hostPath);
bool NotedHostPathFromArgument(LPCWSTR path, std::string& hostPath);

// Why a path can't be mapped, in words ("drive C: is not mapped to a folder ...").
std::string WhyUnmapped(std::string_view path, DWORD status);

}  // namespace qv::files
