// Whether a lock file is held, as another process would find it.
#pragma once
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

namespace qv::testing {

// Whether another open file description could lock `path` now (true when it doesn't exist).
inline bool LockFileIsFree(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;
  bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
  close(fd);
  return free;
}

}  // namespace qv::testing
