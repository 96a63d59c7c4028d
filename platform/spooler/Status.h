// Small helpers for the spooler's status codes.
#pragma once
#include <winbase.h>

#include "../files/ErrnoMapping.h"

namespace qv::spool {

// The calling thread's last error, or ERROR_GEN_FAILURE when a failing call left none.
inline DWORD GetLastErrorOrFailure() {
  DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? error : static_cast<DWORD>(ERROR_GEN_FAILURE);
}

// Sets the last error and answers FALSE, as a failing spooler call does.
inline BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// Errno of a failed host call as a Win32 status (the platform's one translation).
inline DWORD StatusFromErrno(int error) { return files::Win32ErrorFromErrno(error); }

}  // namespace qv::spool
