// A file written under a temporary name beside its destination and renamed over it only when
// complete and flushed: a crash or a failure never leaves a half-written file under the name.
#pragma once
#include "../files/UniqueFd.h"

#include <windef.h>

#include <string>

namespace qv::spool {

class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();  // removes the temporary file unless committed; closes the descriptor
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  DWORD Create(const std::string& destination);
  int Fd() const { return fd_.Get(); }
  DWORD Write(const void* data, size_t size);
  // Flushes the data and renames the file to its destination. The descriptor stays open (and
  // any lock taken on it held) until the object is destroyed.
  DWORD Commit();
  // The two halves of Commit, for a caller that flushes many files at once (one syncfs) before
  // it renames any of them: Place must only follow a flush that covered this file.
  DWORD Flush();
  DWORD Place();

 private:
  files::UniqueFd fd_;
  std::string temporary_;
  std::string destination_;
  bool committed_ = false;
};

// Writes `content` to `path` atomically.
DWORD WriteWholeFile(const std::string& path, const std::string& content);
// Copies everything readable from `fd` (from offset 0, with pread) to `path` atomically.
DWORD CopyToFile(int fd, const std::string& path);
// Flushes a folder, making the renames and removals in it durable.
DWORD FlushFolder(const std::string& path);
// Creates a folder and the folders above it.
DWORD MakeFolders(const std::string& path);

}  // namespace qv::spool
