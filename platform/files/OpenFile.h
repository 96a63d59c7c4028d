// A file opened by CreateFile: the host descriptor and the access the caller asked for, which
// decides what ReadFile and WriteFile allow (as the descriptor alone would not, for
// GENERIC_READ | GENERIC_WRITE asked and partly refused), and the host path it was opened by,
// which a failed write names.
#pragma once
#include "HandleTable.h"
#include "UniqueFd.h"

#include <string>
#include <utility>

namespace qv::files {

class OpenFile : public KernelObject {
 public:
  OpenFile(int fd, bool canRead, bool canWrite, std::string hostPath)
      : fd_(fd), canRead_(canRead), canWrite_(canWrite), hostPath_(std::move(hostPath)) {}

  int Fd() const { return fd_.Get(); }
  bool CanRead() const { return canRead_; }
  bool CanWrite() const { return canWrite_; }
  const std::string& HostPath() const { return hostPath_; }

 private:
  UniqueFd fd_;
  bool canRead_;
  bool canWrite_;
  std::string hostPath_;
};

}  // namespace qv::files
