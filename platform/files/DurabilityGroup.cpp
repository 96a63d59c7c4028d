#include <qv/durability_group.h>
#include <winerror.h>

#include "ErrnoMapping.h"
#include "UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace qv {
namespace {

struct PendingFolder {
  dev_t device;
  ino_t inode;
  files::UniqueFd fd;
};

// A copy whose content waits under its staging name in `folder` for the group's commit.
struct PendingCopy {
  size_t folder;  // index into the group's folders
  files::UniqueFd file;
  std::string staged;
  std::string leaf;
};

// The calling thread's open group: its depth and what it put off.
struct OpenGroup {
  int depth = 0;
  std::vector<PendingFolder> folders;
  std::vector<PendingCopy> copies;
  DWORD failure = ERROR_SUCCESS;  // of a commit made early, told by the next Commit
};

thread_local OpenGroup group;
// The folder the calling thread's last failed commit was about: its path, for messages.
thread_local std::string failedFolder;

std::string PathOf(int fd) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char path[4096];
  const ssize_t size = readlink(link, path, sizeof path);
  return size > 0 && static_cast<size_t>(size) < sizeof path ? std::string(path, static_cast<size_t>(size)) : std::string();
}

// Past this many copies or folders, the group commits early rather than keep more files open:
// committing early is always safe, it only costs flushes.
constexpr size_t kPendingMax = 64;

// From this many copies on, one syncfs costs less than a flush per file.
constexpr size_t kWholeFileSystemFlushFrom = 3;

DWORD Errno() { return files::Win32ErrorFromErrno(errno); }

DWORD CommitPending() noexcept {
  DWORD first = ERROR_SUCCESS;
  // The first failure's status and the folder it concerns.
  auto note = [&first](DWORD status, int folderFd) {
    if (first != ERROR_SUCCESS) return;
    first = status;
    try {
      failedFolder = PathOf(folderFd);
    } catch (...) {
      // Out of memory for the name: the status alone is told.
    }
  };
  // Guards the content of every copy: on disk in full before any of them takes its name, so a
  // name that outlives a crash never leads to a partial file.
  std::vector<bool> flushed(group.copies.size(), false);
  if (group.copies.size() >= kWholeFileSystemFlushFrom) {
    std::vector<dev_t> synced, failed;  // a copy on a file system whose syncfs failed is not named
    auto seen = [](const std::vector<dev_t>& devices, dev_t device) {
      for (dev_t one : devices)
        if (one == device) return true;
      return false;
    };
    for (size_t i = 0; i < group.copies.size(); ++i) {
      const dev_t device = group.folders[group.copies[i].folder].device;
      if (!seen(synced, device) && !seen(failed, device)) {
        if (syncfs(group.copies[i].file.Get()) == 0) {
          synced.push_back(device);
        } else {
          note(Errno(), group.folders[group.copies[i].folder].fd.Get());
          failed.push_back(device);
        }
      }
      flushed[i] = seen(synced, device);
    }
  } else {
    for (size_t i = 0; i < group.copies.size(); ++i) {
      if (fsync(group.copies[i].file.Get()) == 0)
        flushed[i] = true;
      else
        note(Errno(), group.folders[group.copies[i].folder].fd.Get());
    }
  }
  for (size_t i = 0; i < group.copies.size(); ++i) {
    PendingCopy& copy = group.copies[i];
    const int folderFd = group.folders[copy.folder].fd.Get();
    if (copy.file.Close() != 0) {
      note(Errno(), folderFd);
      flushed[i] = false;
    }
    if (flushed[i] && renameat(folderFd, copy.staged.c_str(), folderFd, copy.leaf.c_str()) == 0) continue;
    if (flushed[i]) note(Errno(), folderFd);
    unlinkat(folderFd, copy.staged.c_str(), 0);
  }
  group.copies.clear();
  // Guards the names: each folder's entries are on disk before the group's caller lets go of
  // what the copies replace.
  for (PendingFolder& folder : group.folders)
    if (fsync(folder.fd.Get()) != 0) note(Errno(), folder.fd.Get());
  group.folders.clear();
  return first;
}

// The group's index of the folder open as `folderFd`, kept open for the commit; false when it
// can't be kept.
bool KeepFolder(int folderFd, size_t& index) {
  struct stat info {};
  if (fstat(folderFd, &info) != 0) return false;
  for (size_t i = 0; i < group.folders.size(); ++i) {
    if (group.folders[i].device == info.st_dev && group.folders[i].inode == info.st_ino) {
      index = i;
      return true;
    }
  }
  int copy = fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return false;
  files::UniqueFd fd(copy);
  group.folders.push_back({info.st_dev, info.st_ino, std::move(fd)});
  index = group.folders.size() - 1;
  return true;
}

// Commits early when the group holds as much as it may, remembering a failure for Commit.
void MakeRoom() {
  if (group.folders.size() < kPendingMax && group.copies.size() < kPendingMax) return;
  if (DWORD status = CommitPending(); status != ERROR_SUCCESS && group.failure == ERROR_SUCCESS)
    group.failure = status;
}

}  // namespace

DurabilityGroup::DurabilityGroup() noexcept : outermost_(group.depth++ == 0) {}

DurabilityGroup::~DurabilityGroup() {
  if (!committed_) Commit();
  --group.depth;
}

DWORD DurabilityGroup::Commit() noexcept {
  committed_ = true;
  if (!outermost_) return ERROR_SUCCESS;
  if (group.failure == ERROR_SUCCESS) failedFolder.clear();
  DWORD status = CommitPending();
  if (group.failure != ERROR_SUCCESS) status = group.failure;
  group.failure = ERROR_SUCCESS;
  return status;
}

bool InDurabilityGroup() noexcept { return group.depth > 0; }

std::string DurabilityFailureFolder() {
  return failedFolder;
}

DWORD FlushFolderOrDefer(int folderFd) noexcept {
  if (group.depth > 0) {
    try {
      MakeRoom();
      size_t index = 0;
      if (KeepFolder(folderFd, index)) return ERROR_SUCCESS;
    } catch (...) {
      // Out of memory while keeping the folder: flushed now below, which is as safe.
    }
  }
  if (fsync(folderFd) != 0) return Errno();
  return ERROR_SUCCESS;
}

bool DeferPlacement(int folderFd, int fileFd, const std::string& staged, const std::string& leaf) noexcept {
  if (group.depth == 0) return false;
  try {
    MakeRoom();
    size_t index = 0;
    if (!KeepFolder(folderFd, index)) return false;
    int file = fcntl(fileFd, F_DUPFD_CLOEXEC, 0);
    if (file < 0) return false;
    files::UniqueFd owned(file);
    group.copies.push_back({index, std::move(owned), staged, leaf});
    return true;
  } catch (...) {
    return false;  // placed by the caller, as outside a group
  }
}

}  // namespace qv
