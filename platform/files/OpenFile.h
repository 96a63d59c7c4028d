// A file opened by CreateFile: the host descriptor and the access the caller asked for, which
// decides what ReadFile and WriteFile allow (as the descriptor alone would not, for
// GENERIC_READ | GENERIC_WRITE asked and partly refused).
#pragma once
#include "HandleTable.h"
#include "UniqueFd.h"

namespace qv::files {

class OpenFile : public KernelObject {
 public:
  OpenFile(int fd, bool canRead, bool canWrite) : fd_(fd), canRead_(canRead), canWrite_(canWrite) {}

  int Fd() const { return fd_.Get(); }
  bool CanRead() const { return canRead_; }
  bool CanWrite() const { return canWrite_; }

 private:
  UniqueFd fd_;
  bool canRead_;
  bool canWrite_;
};

}  // namespace qv::files
