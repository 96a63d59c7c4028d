// Owns one host file descriptor and closes it when destroyed.
#pragma once
#include <unistd.h>

namespace qv::files {

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  // Moving hands the descriptor over: the one moved from holds none.
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  // Gives the descriptor up to the caller, who now closes it.
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Takes `fd` (none by default) in place of the one held, which is closed.
  void Reset(int fd = -1) {
    Close();
    fd_ = fd;
  }
  // Closes now, for callers that must see the result (a delayed write error shows here).
  int Close() {
    int fd = Release();
    return fd >= 0 ? close(fd) : 0;
  }

 private:
  int fd_;
};

}  // namespace qv::files
