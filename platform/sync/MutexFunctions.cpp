// CreateMutexW, WaitForSingleObject and ReleaseMutex over MutexObject.
#include "SyncHandles.h"

#include <qv/sync.h>
#include <qv/utf.h>
#include <winbase.h>

#include <new>
#include <string>

namespace {

// The lock file's name for a mutex name: the "Global\" or "Local\" namespace dropped, ASCII
// letters lower-cased. Empty with `valid` false when the name can't name a file in the prefix.
std::string LockNameFor(LPCWSTR name, bool& valid) {
  std::u16string wide(name);
  for (std::u16string_view space : {std::u16string_view(WSTR("Global\\")), std::u16string_view(WSTR("Local\\"))}) {
    if (wide.starts_with(space)) {
      wide.erase(0, space.size());
      break;
    }
  }
  std::string result = qv::ToUtf8(wide);
  for (char& c : result)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  valid = !result.empty() && result != "." && result != ".." && result.size() <= 200 &&
          result.find_first_of("/\\") == std::string::npos;
  return result;
}

}  // namespace

namespace qv {

bool CloseSyncHandle(HANDLE handle) {
  try {
    return sync::CloseMutexHandle(handle);
  } catch (...) {
    return false;
  }
}

}  // namespace qv

extern "C" {

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCWSTR lpName) {
  try {
    std::string lockName;
    if (lpName && *lpName) {
      bool valid = false;
      lockName = LockNameFor(lpName, valid);
      if (!valid) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
      }
    }
    bool existed = false;
    HANDLE handle = qv::sync::OpenMutexHandle(lockName, existed);
    if (bInitialOwner && !existed) {
      if (qv::sync::MutexOf(handle)->Wait(INFINITE) != WAIT_OBJECT_0) {
        const DWORD error = GetLastError();
        qv::sync::CloseMutexHandle(handle);
        SetLastError(error);
        return nullptr;
      }
    }
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } catch (...) {
    SetLastError(ERROR_GEN_FAILURE);
  }
  return nullptr;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  try {
    auto mutex = qv::sync::MutexOf(hHandle);
    if (!mutex) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    return mutex->Wait(dwMilliseconds);
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return WAIT_FAILED;
  }
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
  try {
    auto mutex = qv::sync::MutexOf(hMutex);
    if (!mutex) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    return mutex->Release() ? TRUE : FALSE;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
}

}  // extern "C"
