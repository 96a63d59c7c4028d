#include <qv/lock_file.h>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

namespace {
std::atomic<uint64_t> acquisitions{0};
}

uint64_t LockFile::Acquisitions() { return acquisitions.load(std::memory_order_acquire); }

int LockFile::Open(const std::string& path, mode_t mode) {
  Close();
  // An existing file is opened where the name leads, links included: it is only locked. A
  // missing one is made under the name itself, never through a link: a dangling symbolic link
  // put there would have a process with more rights (the CUPS backend runs as root) make the
  // file it names. Such a link is refused (ELOOP), as is a name that keeps changing under us.
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
      fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
      if (fd < 0 && errno == EEXIST) continue;  // made meanwhile by another, or a dangling link
    }
    if (fd < 0) return errno;
    fd_ = fd;
    path_ = path;
    mode_ = mode;
    return 0;
  }
  return ELOOP;
}

int LockFile::Lock(bool wait) {
  if (fd_ < 0) return EBADF;
  for (;;) {
    if (flock(fd_, wait ? LOCK_EX : LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (LockedFileIsCurrent()) {
      acquisitions.fetch_add(1, std::memory_order_acq_rel);
      return 0;
    }
    // Removed or replaced while we waited: lock what the name leads to now.
    const std::string path = path_;
    if (int error = Open(path, mode_)) return error;
  }
}

void LockFile::Unlock() {
  if (fd_ >= 0) flock(fd_, LOCK_UN);
}

void LockFile::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  path_.clear();
}

bool LockFile::LockedFileIsCurrent() const {
  struct stat locked;
  struct stat named;
  if (fstat(fd_, &locked) != 0 || stat(path_.c_str(), &named) != 0) return false;
  return locked.st_dev == named.st_dev && locked.st_ino == named.st_ino;
}

}  // namespace qv
