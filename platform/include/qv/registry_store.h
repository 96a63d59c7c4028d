// Upkeep and figures of the registry store, for the hosts and the benchmarks.
#pragma once
#include <windef.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

// Moves the store's write-ahead log into the database and empties it, so that the next process
// opens the store without replaying the log. Unless `always`, only when this process's commits
// left a log long enough to be worth it (an empty log costs the next writer two more flushes).
// Nothing happens when the store was not opened by this process; failures are ignored (the
// log is simply replayed later).
void CheckpointRegistry(bool always = false);

// How many registry transactions (reads and writes) this process has run.
uint64_t RegistryTransactionCount();

// Outside of one of these, every registry read looks whether another process has committed
// since the last look (a read transaction of its own), so that it never returns what another
// process has already changed. While one lives on a thread, that thread's reads look once, at
// the first read, and again only after this process has taken a lock it shares with other
// processes (qv::LockFile): the reads of one job come from the store as it was when the job
// began, or later; a value read under such a lock still shows every commit made before the
// other process let the lock go; a change another process makes shows in the next job. What
// this process writes shows at once, as always. They nest, each one begun making the next read
// look (a job inside a longer run).
class RegistryReadsOfOneJob {
 public:
  RegistryReadsOfOneJob() noexcept;
  ~RegistryReadsOfOneJob();
  RegistryReadsOfOneJob(const RegistryReadsOfOneJob&) = delete;
  RegistryReadsOfOneJob& operator=(const RegistryReadsOfOneJob&) = delete;
};

// How many times this process has looked for other processes' commits before a read.
uint64_t RegistryCommitLookCount();

// A value as the store keeps it: its name (UTF-8), its type and its data (string data in the
// UTF-16 form the wide calls use, with its terminator).
struct RegistryValue {
  std::string name;
  DWORD type = 0;
  std::string data;
};

// Every value of the key HKLM\<path>, in creation order, read in one transaction: what one
// logical read needs (a printer's settings) without a transaction per value.
// ERROR_FILE_NOT_FOUND when the key does not exist.
LONG ReadRegistryValues(const std::string& path, std::vector<RegistryValue>& values);
// One value of the key `path` below `root` (a predefined key), in one transaction.
// ERROR_FILE_NOT_FOUND when the key or the value does not exist.
LONG ReadRegistryValue(HKEY root, const std::string& path, const std::string& name, RegistryValue& value);
// The names of the subkeys of HKLM\<path>, in enumeration order, in one transaction.
LONG ReadRegistrySubKeys(const std::string& path, std::vector<std::string>& names);
// Sets a value of HKLM\<path>, creating the key when it is missing, in one transaction.
LONG WriteRegistryValue(const std::string& path, const std::string& name, DWORD type, const std::string& data);
// Reads a value of HKLM\<path> and sets it to what `update` makes of it, in one write
// transaction: no other process's write comes between the read and the write (a counter that
// must never hand out a number twice). `update` gets nullptr when the value does not exist yet
// and fills in the new value's type and data. The key is created when it is missing.
LONG UpdateRegistryValue(const std::string& path, const std::string& name,
                         const std::function<void(const RegistryValue* current, RegistryValue& updated)>& update);
// Text data of a REG_SZ or REG_EXPAND_SZ value as UTF-16, up to its first terminator; false
// for a value of another type.
bool RegistryText(const RegistryValue& value, std::u16string& text);

}  // namespace qv
