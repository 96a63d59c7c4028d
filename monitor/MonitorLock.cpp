#include "MonitorLock.h"

#include <qv/macros.h>

namespace Quorvane {

MonitorLock::MonitorLock() {
  InitializeCriticalSection(&section_);
  mutex_ = CreateMutexW(nullptr, FALSE, WSTR("Monitor"));
}

MonitorLock::~MonitorLock() {
  if (mutex_) CloseHandle(mutex_);
  DeleteCriticalSection(&section_);
}

MonitorLock::Guard::Guard(MonitorLock& lock, Reach reach) : lock_(lock), ownsMutex_(false) {
  EnterCriticalSection(&lock_.section_);
  if (reach == Reach::ThisProcess) return;
  // Without the mutex the monitor still serialises its own threads; the other processes'
  // work is then not held back, which beats refusing every port call.
  const DWORD wait = lock_.mutex_ ? WaitForSingleObject(lock_.mutex_, INFINITE) : WAIT_FAILED;
  ownsMutex_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

MonitorLock::Guard::~Guard() {
  if (ownsMutex_) ReleaseMutex(lock_.mutex_);
  LeaveCriticalSection(&lock_.section_);
}

}  // namespace Quorvane
