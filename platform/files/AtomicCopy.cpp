// CopyFile: the copy is written under a temporary name in the destination's folder, flushed to
// disk, then renamed into place. A reader sees the old file or the whole new one, never a
// partial one; a failed copy leaves the old file as it was; a symbolic link at the destination
// is replaced itself, its target never written.
#include <winbase.h>

#include "ApiSupport.h"
#include "ErrnoMapping.h"
#include "FolderCopy.h"
#include "Litter.h"
#include "UniqueFd.h"

#include <qv/diagnostics.h>
#include <qv/durability_group.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using qv::files::ErrorForPath;
using qv::files::Fail;
using qv::files::Guarded;
using qv::files::UniqueFd;
using qv::files::Win32ErrorFromErrno;

namespace {

constexpr size_t kChunkSize = 128 * 1024;  // memory stays this small whatever the file's size
constexpr size_t kKernelCopyStep = 8u << 20;  // a copy in the kernel goes in steps of this size
constexpr size_t kWritebackFrom = 1u << 20;   // steps this large are handed to the disk at once

// A new file under a hidden name of its own in a given open folder. Removed when destroyed
// unless it was renamed into place. The folder's descriptor must outlive it.
class StagedFile {
 public:
  StagedFile() = default;
  ~StagedFile() {
    fd_.Close();
    if (!leaf_.empty()) unlinkat(folderFd_, leaf_.c_str(), 0);
  }
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  DWORD Create(int folderFd) {
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
      char leaf[64];
      std::snprintf(leaf, sizeof leaf, ".qvcopy-%x-%x-%llx", static_cast<unsigned>(getpid()),
                    serial.fetch_add(1),
                    static_cast<unsigned long long>(
                        std::chrono::steady_clock::now().time_since_epoch().count()));
      // Created as any new file would be (0666 less the umask), not private to us.
      int fd = openat(folderFd, leaf, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (fd >= 0) {
        fd_.Reset(fd);
        folderFd_ = folderFd;
        leaf_ = leaf;
        return ERROR_SUCCESS;
      }
      if (errno != EEXIST) return Win32ErrorFromErrno(errno);
    }
    return ERROR_FILE_EXISTS;
  }

  int Fd() const { return fd_.Get(); }
  const std::string& Leaf() const { return leaf_; }

  // On disk in full before it gets the destination's name: guards the output's content.
  DWORD Finish() {
    if (fsync(fd_.Get()) != 0) return Win32ErrorFromErrno(errno);
    if (fd_.Close() != 0) return Win32ErrorFromErrno(errno);
    return ERROR_SUCCESS;
  }

  // The name is now the destination's: nothing is left to remove.
  void Placed() { leaf_.clear(); }

 private:
  UniqueFd fd_;
  int folderFd_ = -1;
  std::string leaf_;
};

// Copies in the kernel (copy_file_range: no pass through user space, and a reflink where the
// file system shares blocks); a copy the kernel refuses or finds empty before anything went
// (across file systems on older kernels, special file systems) goes through a buffer.
DWORD CopyContents(int from, int to) {
  off64_t written = 0;
  for (bool copiedAny = false;;) {
    ssize_t copied = copy_file_range(from, nullptr, to, nullptr, kKernelCopyStep, 0);
    if (copied < 0 && errno == EINTR) continue;
    // Nothing at all: an empty file, or one whose size the kernel can't see (/proc, /sys),
    // which only reading tells apart.
    if (copied == 0 && !copiedAny) break;
    if (copied == 0) return ERROR_SUCCESS;
    if (copied > 0) {
      copiedAny = true;
      // Not a flush: the disk starts on this step while the next one is copied, so that the
      // copy's flush finds little left to write.
      if (static_cast<size_t>(copied) >= kWritebackFrom) sync_file_range(to, written, copied, SYNC_FILE_RANGE_WRITE);
      written += copied;
      continue;
    }
    if (!copiedAny && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                       errno == EBADF))
      break;
    return Win32ErrorFromErrno(errno);
  }
  std::unique_ptr<char[]> buffer(new char[kChunkSize]);
  for (;;) {
    ssize_t got = read(from, buffer.get(), kChunkSize);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Win32ErrorFromErrno(errno);
    if (got == 0) return ERROR_SUCCESS;
    for (ssize_t done = 0; done < got;) {
      ssize_t wrote = write(to, buffer.get() + done, static_cast<size_t>(got - done));
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote < 0) return Win32ErrorFromErrno(errno);
      done += wrote;
    }
  }
}

// Gives the staged file the destination's name without ever replacing anything there.
DWORD PlaceWithoutReplacing(StagedFile& staged, int folderFd, const std::string& leaf) {
  if (renameat2(folderFd, staged.Leaf().c_str(), folderFd, leaf.c_str(), RENAME_NOREPLACE) == 0) {
    staged.Placed();
    return ERROR_SUCCESS;
  }
  if (errno == EEXIST) return ERROR_FILE_EXISTS;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return Win32ErrorFromErrno(errno);
  // A file system without RENAME_NOREPLACE: a hard link also fails on an existing name; the
  // staged name is then removed with the StagedFile.
  if (linkat(folderFd, staged.Leaf().c_str(), folderFd, leaf.c_str(), 0) == 0) return ERROR_SUCCESS;
  return errno == EEXIST ? ERROR_FILE_EXISTS : Win32ErrorFromErrno(errno);
}

// The folder of a host path, opened; its links are followed (a plain CopyFile trusts its path).
DWORD OpenParentFolder(const std::string& destination, UniqueFd& folder, std::string& leaf) {
  std::string::size_type end = destination.size();
  while (end > 1 && destination[end - 1] == '/') --end;
  std::string::size_type slash = destination.rfind('/', end - 1);
  std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : destination.substr(0, slash);
  leaf = destination.substr(slash == std::string::npos ? 0 : slash + 1, end - (slash + 1));
  int fd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno);
  folder.Reset(fd);
  // "dir/" names the folder itself, which no copy may replace.
  if (end != destination.size()) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

DWORD CopyOnHost(const std::string& source, const std::string& destination, bool failIfExists) {
  UniqueFd folder;
  std::string leaf;
  if (DWORD status = OpenParentFolder(destination, folder, leaf)) {
    // A missing source is what the caller needs to hear about first.
    if (access(source.c_str(), F_OK) != 0) return ErrorForPath(errno, source);
    return status;
  }
  return qv::files::CopyIntoFolder(source, folder.Get(), leaf, failIfExists);
}

}  // namespace

namespace qv::files {

DWORD CopyIntoFolder(const std::string& source, int folderFd, const std::string& leaf, bool failIfExists) {
  // Non-blocking open, so that a pipe named as the source can't hang the copy; refused below.
  UniqueFd from(open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!from.Valid()) return ErrorForPath(errno, source);
  struct stat info;
  if (fstat(from.Get(), &info) != 0) return Win32ErrorFromErrno(errno);
  if (!S_ISREG(info.st_mode)) return ERROR_ACCESS_DENIED;  // folders, devices, pipes

  struct stat existing;
  if (fstatat(folderFd, leaf.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
    if (failIfExists) return ERROR_FILE_EXISTS;  // a link counts, whatever it points at
    if (S_ISDIR(existing.st_mode)) return ERROR_ACCESS_DENIED;
    // A read-only file is kept, as Windows keeps it; the rename below would replace it
    // whatever its mode. A link is replaced itself, so its own (absent) bits are what count.
    if (S_ISREG(existing.st_mode) && qv::files::IsReadOnlyMode(existing.st_mode))
      return ERROR_ACCESS_DENIED;
  }

  // What copies into this folder left when their process was killed.
  qv::files::SweepStagingFiles(folderFd);
  StagedFile staged;
  if (DWORD status = staged.Create(folderFd)) return status;
  if (DWORD status = CopyContents(from.Get(), staged.Fd())) return status;
  // Inside a durability group the copy is flushed and named when the group commits, together
  // with the others. A copy that must not replace anything is placed now: whether the name is
  // free can only be told at the rename.
  if (!failIfExists && qv::DeferPlacement(folderFd, staged.Fd(), staged.Leaf(), leaf)) {
    staged.Placed();
    return ERROR_SUCCESS;
  }
  if (DWORD status = staged.Finish()) return status;
  if (failIfExists) {
    if (DWORD status = PlaceWithoutReplacing(staged, folderFd, leaf)) return status;
  } else {
    if (renameat(folderFd, staged.Leaf().c_str(), folderFd, leaf.c_str()) != 0)
      return Win32ErrorFromErrno(errno);
    staged.Placed();
  }
  // Guards the rename itself: the folder's entry is on disk when the copy reports success, or,
  // inside a durability group, when the group commits (before its caller lets go of the source).
  return qv::FlushFolderOrDefer(folderFd);
}

}  // namespace qv::files

namespace {

template <class Char>
BOOL CopyFileT(const Char* existingFileName, const Char* newFileName, BOOL failIfExists) {
  return Guarded(FALSE, [&]() -> BOOL {
    std::string source;
    std::string destination;
    if (!qv::files::HostPathFromArgument(existingFileName, source)) return FALSE;
    if (!qv::files::NotedHostPathFromArgument(newFileName, destination)) return FALSE;
    if (DWORD status = CopyOnHost(source, destination, failIfExists != FALSE)) {
      // The file a port's script could not write, for the person who has to fix it.
      qv::NoteFailedHostPath(destination, status);
      return Fail(status, FALSE);
    }
    return TRUE;
  });
}

}  // namespace

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
  return CopyFileT(lpExistingFileName, lpNewFileName, bFailIfExists);
}

BOOL WINAPI CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
  return CopyFileT(lpExistingFileName, lpNewFileName, bFailIfExists);
}
