#include "AtomicFile.h"

#include "Status.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace qv::spool {

AtomicFile::~AtomicFile() {
  if (!temporary_.empty() && !committed_) unlink(temporary_.c_str());
}

DWORD AtomicFile::Create(const std::string& destination) {
  std::filesystem::path target(destination);
  // Appended piece by piece: g++ 12 at -O3 gives a false -Wrestrict for "." + std::string.
  std::string hidden = ".";
  hidden += target.filename().string();
  hidden += ".XXXXXX";
  std::string pattern = (target.parent_path() / hidden).string();
  int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return StatusFromErrno(errno);
  fchmod(fd, 0644);
  fd_.Reset(fd);
  temporary_ = pattern;
  destination_ = destination;
  return ERROR_SUCCESS;
}

DWORD AtomicFile::Write(const void* data, size_t size) {
  const char* next = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t written = write(fd_.Get(), next, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return StatusFromErrno(errno);
    }
    next += written;
    size -= static_cast<size_t>(written);
  }
  return ERROR_SUCCESS;
}

DWORD AtomicFile::Commit() {
  if (fsync(fd_.Get()) != 0) return StatusFromErrno(errno);
  if (rename(temporary_.c_str(), destination_.c_str()) != 0) return StatusFromErrno(errno);
  committed_ = true;
  return ERROR_SUCCESS;
}

DWORD WriteWholeFile(const std::string& path, const std::string& content) {
  AtomicFile file;
  DWORD status = file.Create(path);
  if (status == ERROR_SUCCESS) status = file.Write(content.data(), content.size());
  if (status == ERROR_SUCCESS) status = file.Commit();
  return status;
}

DWORD CopyToFile(int fd, const std::string& path) {
  AtomicFile file;
  if (DWORD status = file.Create(path); status != ERROR_SUCCESS) return status;
  std::vector<char> buffer(1 << 16);
  for (off_t offset = 0;;) {
    ssize_t got = pread(fd, buffer.data(), buffer.size(), offset);
    if (got < 0) {
      if (errno == EINTR) continue;
      return StatusFromErrno(errno);
    }
    if (got == 0) break;
    if (DWORD status = file.Write(buffer.data(), static_cast<size_t>(got)); status != ERROR_SUCCESS)
      return status;
    offset += got;
  }
  return file.Commit();
}

DWORD MakeFolders(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  return error ? StatusFromErrno(error.value()) : ERROR_SUCCESS;
}

}  // namespace qv::spool
