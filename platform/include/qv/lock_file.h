// A lock file held with an exclusive flock. flock locks the file the name led to when it was
// opened: a file removed (or replaced) while others waited on it would exclude nobody who opens
// the name afterwards. So after each lock the locked file is checked to be the one the name
// leads to now; when it is not, the name is opened and locked again.
#pragma once
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace qv {

class LockFile {
 public:
  LockFile() = default;
  ~LockFile() { Close(); }
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;

  // Opens `path`, creating it with `mode` (less the umask) when it is missing. Someone else's
  // lock file that this process may not write is opened for reading: flock needs no more.
  // 0, or the errno value of the failure.
  int Open(const std::string& path, mode_t mode);
  // Locks the open file exclusively, waiting for others when `wait`: 0, EWOULDBLOCK when
  // another holds it and `wait` is false, or the errno value of the failure.
  int Lock(bool wait);
  void Unlock();
  // Closes the file, which also ends this process's lock if no child shares the open file.
  void Close();

  bool IsOpen() const { return fd_ >= 0; }
  // The open file (-1 when none), for a caller that keeps a few bytes of state in it while it
  // holds the lock. Opened read-only when the file may not be written (see Open).
  int Fd() const { return fd_; }
  // How many locks this process has taken so far: whatever another process did before letting
  // a lock go must be seen after taking it (the registry looks for commits again).
  static uint64_t Acquisitions();
  const std::string& Path() const { return path_; }

 private:
  bool LockedFileIsCurrent() const;

  int fd_ = -1;
  std::string path_;
  mode_t mode_ = 0;
};

}  // namespace qv
