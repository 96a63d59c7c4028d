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
  if (fd < 0 && errno == ENOENT) {
    // The folder is gone (or was never made): made here, where the file needs it.
    if (DWORD status = MakeFolders(target.parent_path().string()); status != ERROR_SUCCESS) return status;
    pattern = (target.parent_path() / hidden).string();
    fd = mkostemp(pattern.data(), O_CLOEXEC);
  }
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
  if (DWORD status = Flush(); status != ERROR_SUCCESS) return status;
  return Place();
}

DWORD AtomicFile::Flush() {
  // Guards the content: a rename that outlives a crash must never name an empty or partial file.
  if (fsync(fd_.Get()) != 0) return StatusFromErrno(errno);
  return ERROR_SUCCESS;
}

DWORD AtomicFile::Place() {
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
  loff_t offset = 0;
  // In the kernel first; a copy it refuses before anything went goes through a buffer.
  for (;;) {
    ssize_t copied = copy_file_range(fd, &offset, file.Fd(), nullptr, 8u << 20, 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied > 0) continue;
    if (copied == 0 && offset == 0) break;  // empty, or a file only reading can tell
    if (copied == 0) return file.Commit();
    if (offset == 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                        errno == EOPNOTSUPP || errno == EBADF))
      break;
    return StatusFromErrno(errno);
  }
  std::vector<char> buffer(1 << 16);
  for (;;) {
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

DWORD FlushFolder(const std::string& path) {
  files::UniqueFd fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.Valid()) return StatusFromErrno(errno);
  if (fsync(fd.Get()) != 0) return StatusFromErrno(errno);
  return ERROR_SUCCESS;
}

DWORD MakeFolders(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  return error ? StatusFromErrno(error.value()) : ERROR_SUCCESS;
}

}  // namespace qv::spool
