// One mutex as Windows has it: owned by one thread at a time, recursively. A named mutex is
// also owned by one process at a time: its owner holds an exclusive flock on
// <prefix>/.<name>.lock (also linked as <prefix>/<name>.lock), so threads of other processes
// that use the same name wait too. After each flock the locked file is checked to be the one
// the name leads to; a removed or replaced file is reopened and locked again.
#pragma once
#include <qv/lock_file.h>
#include <windef.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace qv::sync {

class MutexObject {
 public:
  // `lockName` is the lock file's name without ".lock"; empty for a mutex of this process only.
  explicit MutexObject(std::string lockName);
  ~MutexObject();
  MutexObject(const MutexObject&) = delete;
  MutexObject& operator=(const MutexObject&) = delete;

  // WAIT_OBJECT_0 once the calling thread owns the mutex, WAIT_TIMEOUT when `milliseconds`
  // (INFINITE: never) passed first, WAIT_FAILED with the last error set when the lock file
  // can't be locked.
  DWORD Wait(DWORD milliseconds);

  // Gives up one level of ownership; false (ERROR_NOT_OWNER) when the caller doesn't own it.
  bool Release();

 private:
  using Clock = std::chrono::steady_clock;
  void ForgetParentProcess();
  DWORD LockFile(std::optional<Clock::time_point> deadline);
  DWORD OpenLockFile();
  void KeepVisibleName() const;
  void CloseLockFile();

  const std::string lockName_;
  std::mutex state_;
  std::condition_variable released_;
  std::thread::id owner_;  // default: nobody
  unsigned count_ = 0;
  unsigned process_;       // the fork generation whose threads owner_ speaks of

  // Touched only by the owning thread. Kept open between owners; reopened when the prefix
  // changed.
  qv::LockFile file_;
  std::string visiblePath_;
};

}  // namespace qv::sync
