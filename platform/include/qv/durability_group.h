// Flushes shared by the copies of a batch. A copy (CopyFile, the copies below a folder, the
// spool's "FILE:" port) is staged under a hidden name, flushed, renamed into place, and the
// folder flushed, so that neither a partial file nor a lost name can follow a power cut. Each
// flush waits for the disk; for a batch of many small copies the waits are the whole cost.
//
// While a durability group is open on the calling thread:
// - a copy that may replace its destination leaves its content under its staging name, not
//   flushed; the group's Commit flushes all of them at once (one syncfs per file system from
//   three copies on, else a flush per file), then gives each its name, in the order the copies
//   were made, then flushes each folder once;
// - a folder flush asked for by other means (FlushFolderOrDefer) is put off to Commit too.
// So a copy's new content takes its name at Commit, not when the copy returns. A caller that
// deletes what the copies replace (a job's spool entry) does so only after Commit succeeded: a
// crash in between leaves both, never neither.
#pragma once
#include <windef.h>

#include <string>

namespace qv {

class DurabilityGroup {
 public:
  // Opens the calling thread's group; a group opened inside another joins it (only the
  // outermost one commits).
  DurabilityGroup() noexcept;
  // Commits, unless Commit was called; a failure then goes unreported.
  ~DurabilityGroup();
  DurabilityGroup(const DurabilityGroup&) = delete;
  DurabilityGroup& operator=(const DurabilityGroup&) = delete;

  // Flushes, names and flushes what the group's copies left so far: ERROR_SUCCESS, or the
  // status of the first step that failed (every copy is still tried; a copy that could not be
  // named is removed). The group stays open. A nested group's Commit does nothing.
  DWORD Commit() noexcept;

 private:
  bool outermost_;
  bool committed_ = false;
};

// Whether a durability group is open on the calling thread.
bool InDurabilityGroup() noexcept;
// The folder (its path) the calling thread's last failed commit was about, for its message;
// empty after a commit that succeeded, or when the path can't be told.
std::string DurabilityFailureFolder();

// Makes the renames and removals in the folder open as `folderFd` durable: flushed now, or
// when the calling thread's durability group commits. 0 or a Win32 status.
DWORD FlushFolderOrDefer(int folderFd) noexcept;

// Inside a durability group: takes over the copy staged as `staged` in the folder open as
// `folderFd` (its descriptor `fileFd` too), to be flushed and renamed to `leaf` when the group
// commits. False outside a group or when it can't be kept (the caller then places it itself).
bool DeferPlacement(int folderFd, int fileFd, const std::string& staged, const std::string& leaf) noexcept;

}  // namespace qv
