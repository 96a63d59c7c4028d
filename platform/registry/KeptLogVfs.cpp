#include "KeptLogVfs.h"

#include "../files/ErrnoMapping.h"
#include "../files/UniqueFd.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <mutex>
#include <string>

namespace qv::registry {
namespace {

constexpr const char* kName = "quorvane-kept-log";
sqlite3_vfs keptLog;
sqlite3_vfs* base = nullptr;  // the system's own layer

// Makes the entry of a log just created survive a power cut before anyone can commit into it.
void FlushFolderOf(const char* path) {
  const files::UniqueFd folder(open(files::ParentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  // Unopened: SQLite flushes it again at the first commit, as it always did.
  if (folder.Valid()) fsync(folder.Get());
}

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  const bool log = name && (flags & SQLITE_OPEN_WAL) && (flags & SQLITE_OPEN_CREATE);
  if (!log) return base->xOpen(base, name, file, flags, outFlags);
  // The log is there: opened without the create flag, its folder is not flushed again.
  if (base->xOpen(base, name, file, flags & ~SQLITE_OPEN_CREATE, outFlags) == SQLITE_OK) return SQLITE_OK;
  // Missing (or refused as it was): opened as SQLite asks, which creates it.
  const int rc = base->xOpen(base, name, file, flags, outFlags);
  if (rc == SQLITE_OK) FlushFolderOf(name);
  return rc;
}

}  // namespace

const char* KeptLogVfsName() {
  static std::once_flag registered;
  std::call_once(registered, [] {
    base = sqlite3_vfs_find(nullptr);
    if (!base) return;
    keptLog = *base;  // every other call, and the system's own data, as they are
    keptLog.zName = kName;
    keptLog.xOpen = &Open;
    keptLog.pNext = nullptr;
    if (sqlite3_vfs_register(&keptLog, 0) != SQLITE_OK) base = nullptr;
  });
  return base ? kName : nullptr;  // nullptr: SQLite's default
}

}  // namespace qv::registry
