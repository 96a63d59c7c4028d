// The last error an entry point leaves for a failed HRESULT.
#pragma once
#include <windows.h>

namespace Quorvane {

// The system error code `result` folds in (FACILITY_WIN32 with a code), else `otherwise`. The
// callers choose `otherwise` because the spooler's callers see it: StartDocPort leaves
// ERROR_GEN_FAILURE, the port dialogs' entry points leave the HRESULT itself.
inline DWORD SystemErrorOf(HRESULT result, DWORD otherwise) {
  if (HRESULT_FACILITY(result) == FACILITY_WIN32 && HRESULT_CODE(result) != 0) return HRESULT_CODE(result);
  return otherwise;
}

}  // namespace Quorvane
