#include "MutexObject.h"

#include <qv/prefix.h>
#include <winbase.h>

#include <atomic>
#include <cerrno>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv::sync {

namespace {

// Counts the forks this process came out of, so that a child can tell cheaply that the
// ownership records it inherited are its parent's.
std::atomic<unsigned> forkGeneration{0};
[[maybe_unused]] const int forkWatch = pthread_atfork(nullptr, nullptr, [] { ++forkGeneration; });

DWORD Win32ErrorFromErrno(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENOENT: return ERROR_PATH_NOT_FOUND;
    case ENOTDIR: return ERROR_DIRECTORY;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
    case ENOLCK: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC: return ERROR_DISK_FULL;
    default: return ERROR_GEN_FAILURE;
  }
}

}  // namespace

MutexObject::MutexObject(std::string lockName)
    : lockName_(std::move(lockName)), process_(forkGeneration) {}

MutexObject::~MutexObject() { CloseLockFile(); }

DWORD MutexObject::Wait(DWORD milliseconds) {
  std::optional<Clock::time_point> deadline;
  if (milliseconds != INFINITE) deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  const std::thread::id me = std::this_thread::get_id();

  std::unique_lock<std::mutex> lock(state_);
  ForgetParentProcess();
  if (owner_ == me) {
    ++count_;
    return WAIT_OBJECT_0;
  }
  auto free = [this] { return owner_ == std::thread::id(); };
  if (deadline) {
    if (!released_.wait_until(lock, *deadline, free)) return WAIT_TIMEOUT;
  } else {
    released_.wait(lock, free);
  }
  // Claimed in this process first, so that the file lock is only ever waited for by one
  // thread here; the others wait on the condition above.
  owner_ = me;
  count_ = 1;
  if (lockName_.empty()) return WAIT_OBJECT_0;
  lock.unlock();

  const DWORD result = LockFile(deadline);
  if (result != WAIT_OBJECT_0) {
    lock.lock();
    owner_ = std::thread::id();
    count_ = 0;
    released_.notify_one();
  }
  return result;
}

bool MutexObject::Release() {
  std::lock_guard<std::mutex> lock(state_);
  ForgetParentProcess();
  if (owner_ != std::this_thread::get_id()) {
    SetLastError(ERROR_NOT_OWNER);
    return false;
  }
  if (--count_ > 0) return true;
  file_.Unlock();
  owner_ = std::thread::id();
  released_.notify_one();
  return true;
}

// In a child made by fork the parent's ownership means nothing: the parent's threads are not
// here, and the parent keeps its own lock on the file, which the child must wait for.
void MutexObject::ForgetParentProcess() {
  if (process_ == forkGeneration) return;
  process_ = forkGeneration;
  owner_ = std::thread::id();
  count_ = 0;
  CloseLockFile();
}

DWORD MutexObject::LockFile(std::optional<Clock::time_point> deadline) {
  if (DWORD error = OpenLockFile()) {
    SetLastError(error);
    return WAIT_FAILED;
  }
  for (;;) {
    const int error = file_.Lock(!deadline);
    if (error == 0) {
      KeepVisibleName();
      return WAIT_OBJECT_0;
    }
    if (error != EWOULDBLOCK) {
      SetLastError(Win32ErrorFromErrno(error));
      return WAIT_FAILED;
    }
    if (Clock::now() >= *deadline) return WAIT_TIMEOUT;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

// "<name>.lock" is the name people see, a second link to the locked file. Removing it (as one
// might clear a lock that looks stale) removes only that link: the hidden name keeps leading
// every process to the same file, so exclusion holds. The owner puts the link back.
void MutexObject::KeepVisibleName() const {
  struct stat visible;
  if (lstat(visiblePath_.c_str(), &visible) == 0) return;
  if (errno == ENOENT) link(file_.Path().c_str(), visiblePath_.c_str());  // best effort
}

DWORD MutexObject::OpenLockFile() {
  std::string path;
  std::string visible;
  try {
    const std::string folder = qv::PrefixDir() + "/";
    path = folder + "." + lockName_ + ".lock";
    visible = folder + lockName_ + ".lock";
  } catch (...) {
    return ERROR_PATH_NOT_FOUND;
  }
  if (file_.IsOpen() && path == file_.Path()) return 0;
  CloseLockFile();
  if (int error = file_.Open(path, 0666)) return Win32ErrorFromErrno(error);
  visiblePath_ = std::move(visible);
  return 0;
}

void MutexObject::CloseLockFile() {
  file_.Close();  // in a child this drops only the child's reference
  visiblePath_.clear();
}

}  // namespace qv::sync
