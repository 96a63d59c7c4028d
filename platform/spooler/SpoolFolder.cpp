#include "SpoolFolder.h"

#include "AtomicFile.h"
#include "PrinterStore.h"
#include "Status.h"

#include <qv/lock_file.h>
#include <qv/prefix.h>
#include <qv/registry_store.h>
#include <winreg.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace qv::spool {
namespace {

// The spool folder's path, made or not. Names of files in it need no folder: a lookup in a
// missing spool fails as it would in an empty one, and whatever creates a file there makes the
// folder first (SpoolDir, or AtomicFile for a job's files).
std::string SpoolPath() { return PrefixDir() + "/spool"; }

std::string JobFile(DWORD id, const char* extension) {
  char name[32];
  std::snprintf(name, sizeof name, "/%05u.%s", static_cast<unsigned>(id), extension);
  std::string path = SpoolPath();
  path += name;
  return path;
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// Parses "<digits>.shd".
bool IdFromDescriptionName(const std::string& name, DWORD& id) {
  if (name.size() < 5 || name.compare(name.size() - 4, 4, ".shd") != 0) return false;
  std::string digits = name.substr(0, name.size() - 4);
  if (digits.empty() || digits.size() > 10 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  unsigned long value = std::stoul(digits);
  if (value == 0 || value > 0xFFFFFFFFul) return false;
  id = static_cast<DWORD>(value);
  return true;
}

}  // namespace

std::string SpoolDir() {
  std::string dir = PrefixDir() + "/spool";
  // One call when it exists (the usual case); the folders above are made only when missing.
  if (mkdir(dir.c_str(), 0755) != 0 && errno == ENOENT) MakeFolders(dir);
  return dir;
}

std::string DataPath(DWORD id) { return JobFile(id, "spl"); }
std::string DescriptionPath(DWORD id) { return JobFile(id, "shd"); }
std::string PrintedDir(const std::string& printer) { return SpoolPath() + "/printed/" + printer; }

namespace {

// One past the highest job number: blocks end there at the latest, and numbers then restart
// from 1.
constexpr uint64_t kPastLastNumber = uint64_t{1} << 32;

// The end of a block of `size` numbers from `start`, never past the last number.
uint64_t BlockEnd(DWORD start, DWORD size) { return std::min<uint64_t>(uint64_t{start} + size, kPastLastNumber); }

// What the counter holds once numbers up to `end` are reserved: the next number, or 1 when the
// block reached the last number.
DWORD CounterAfter(uint64_t end) { return end >= kPastLastNumber ? 1 : static_cast<DWORD>(end); }

// This process's block of job numbers: [next, end). Kept per prefix and per process, so a
// forked child or another prefix reserves its own.
struct JobIdBlock {
  std::mutex mutex;
  std::string prefix;
  pid_t pid = 0;
  DWORD next = 0;
  DWORD end = 0;
  DWORD lastSize = 0;
  DWORD wanted = 1;
};

JobIdBlock& TheBlock() {
  static auto* block = new JobIdBlock;
  return *block;
}

// Reserves the numbers [start, start + size) in the registry counter, under the lock. The
// counter is read and advanced in one registry transaction, which is what keeps numbers unique
// between processes, even when someone removes the lock file while it is held; the lock file
// only queues the processes that reserve (a flock wakes the next one sooner than the store's
// busy retries).
DWORD ReserveInCounter(DWORD size, DWORD& start) {
  // Committed before any number of the block is used: a restart begins after it. This commit
  // guards the uniqueness of job numbers (an output named with ?ID? is never overwritten).
  return static_cast<DWORD>(
      UpdateRegistryValue(kPrintKey, "NextJobId", [&](const RegistryValue* current, RegistryValue& updated) {
        DWORD next = 1;
        if (current && current->type == REG_DWORD && current->data.size() == sizeof next)
          std::memcpy(&next, current->data.data(), sizeof next);
        start = next == 0 ? 1 : next;
        const DWORD stored = CounterAfter(BlockEnd(start, size));
        updated.type = REG_DWORD;
        updated.data.assign(reinterpret_cast<const char*>(&stored), sizeof stored);
      }));
}

// What the counter holds right now; false when it can't be read.
bool ReadCounter(DWORD& counter) {
  RegistryValue value;
  if (ReadRegistryValue(HKEY_LOCAL_MACHINE, kPrintKey, "NextJobId", value) != ERROR_SUCCESS) return false;
  if (value.type != REG_DWORD || value.data.size() != sizeof counter) return false;
  std::memcpy(&counter, value.data.data(), sizeof counter);
  return true;
}

// Whether the open lock file is the spool's own file, safe to keep the rest in: a regular file,
// under its one name, and not reached through a symbolic link. Whoever may write the spool folder
// can put a link there, and the process that writes through it may have more rights than they
// (the CUPS backend runs as root): the file it leads to is locked, never written.
bool IsOwnLockFile(int fd, const std::string& path) {
  struct stat opened {};
  struct stat named {};
  return fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_nlink == 1 &&
         lstat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

// The lock file itself: its device, inode and birth time. A copy of the file put in its place
// (a restore, an editor's or a sync tool's save) is another file, even where it was given the
// inode number the removed one freed; the rest such a copy holds may have been taken since it
// was copied. Empty where the birth time can't be told.
std::string LockFileIdentity(int fd) {
  struct statx status {};
  if (statx(fd, "", AT_EMPTY_PATH, STATX_INO | STATX_BTIME, &status) != 0 || !(status.stx_mask & STATX_BTIME))
    return {};
  std::string identity = std::to_string(status.stx_dev_major);
  identity += ':';
  identity += std::to_string(status.stx_dev_minor);
  identity += ':';
  identity += std::to_string(status.stx_ino);
  identity += ':';
  identity += std::to_string(status.stx_btime.tv_sec);
  identity += '.';
  identity += std::to_string(status.stx_btime.tv_nsec);
  return identity;
}

// The rest of the last block reserved in the counter, [next, end), kept in the lock file's own
// content ("<boot id> <next> <end> <lock file>") for the processes of this boot, so that a
// command that prints one job takes the next number without a commit. Written without a flush:
// a crash of the machine loses it together with the boot, and the block's rest is left unused,
// as a restart always did. A content whose end is not the counter's value is stale (the counter
// moved on since: another reservation, an edit) and is not used; nor is one that names another
// lock file (the file was replaced by a copy).
bool ReadSharedRest(int fd, const std::string& identity, uint64_t& next, uint64_t& end) {
  char text[192];
  const ssize_t got = pread(fd, text, sizeof text - 1, 0);
  if (got <= 0) return false;
  text[got] = '\0';
  std::istringstream in(text);
  std::string boot, file;
  if (!(in >> boot >> next >> end >> file) || boot != BootId() || file != identity || next >= end ||
      end > kPastLastNumber)
    return false;
  DWORD counter = 0;
  return ReadCounter(counter) && counter == CounterAfter(end);
}

bool WriteSharedRest(int fd, const std::string& identity, uint64_t next, uint64_t end) {
  const std::string text =
      BootId() + " " + std::to_string(next) + " " + std::to_string(end) + " " + identity + "\n";
  return pwrite(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size()) &&
         ftruncate(fd, static_cast<off_t>(text.size())) == 0;
}

// Takes up to `wanted` numbers, [start, start + count): from the rest of the block this boot's
// processes share, or from a new block of kJobIdBlock reserved in the counter. Where the boot
// or the lock file's birth time can't be told, the lock file is not the spool's own (a link),
// or it can't take the rest, a block of `wanted` is reserved for this process alone, as before
// numbers were shared.
// The lock file this thread's last numbering failed on, for the message (see JobIdFailureFile).
thread_local std::string failedLockFile;

DWORD TakeJobIds(DWORD wanted, uint64_t& start, uint64_t& count) {
  LockFile lock;
  const std::string lockPath = SpoolDir() + "/.jobid.lock";
  int error = lock.Open(lockPath, 0644);
  if (!error) error = lock.Lock(true);
  if (error) {
    failedLockFile = lockPath;
    return StatusFromErrno(error);
  }
  uint64_t next = 0, end = 0;
  const std::string identity = IsOwnLockFile(lock.Fd(), lock.Path()) ? LockFileIdentity(lock.Fd()) : std::string();
  const bool sharing = !BootId().empty() && !identity.empty();
  if (!sharing || !ReadSharedRest(lock.Fd(), identity, next, end)) {
    DWORD first = 0;
    const DWORD size = sharing ? std::max(wanted, kJobIdBlock) : wanted;
    if (DWORD status = ReserveInCounter(size, first); status != ERROR_SUCCESS) return status;
    next = first;
    end = BlockEnd(first, size);
  }
  start = next;
  count = std::min<uint64_t>(wanted, end - next);
  if (!sharing) return ERROR_SUCCESS;
  if (!WriteSharedRest(lock.Fd(), identity, next + count, end)) {
    // The file may still offer these numbers to the next process: a block of this process's
    // own moves the counter on, which makes that content stale.
    DWORD first = 0;
    if (DWORD status = ReserveInCounter(wanted, first); status != ERROR_SUCCESS) return status;
    start = first;
    count = BlockEnd(first, wanted) - first;
  }
  return ERROR_SUCCESS;
}

}  // namespace

void ReserveJobIds(DWORD count) {
  JobIdBlock& block = TheBlock();
  std::lock_guard guard(block.mutex);
  block.wanted = std::clamp<DWORD>(count, 1, kJobIdBlock);
}

const std::string& JobIdFailureFile() { return failedLockFile; }

DWORD AllocateJobId(DWORD& id) {
  failedLockFile.clear();
  JobIdBlock& block = TheBlock();
  std::lock_guard guard(block.mutex);
  const std::string prefix = PrefixDir();
  if (block.pid != getpid() || block.prefix != prefix) {
    block.prefix = prefix;
    block.pid = getpid();
    block.next = block.end = 0;
    block.lastSize = 0;
  }
  // After the counter wraps, numbers of jobs still in the spool are passed over.
  for (int tries = 0; tries < 1000; ++tries) {
    if (block.next == block.end) {
      DWORD size = block.lastSize == 0 ? block.wanted : std::min(kJobIdBlock, std::max(block.wanted, block.lastSize * 2));
      uint64_t start = 0, count = 0;
      if (DWORD status = TakeJobIds(size, start, count); status != ERROR_SUCCESS) return status;
      block.next = static_cast<DWORD>(start);
      block.end = static_cast<DWORD>(start + count);  // 0: the block reaches the last number
      block.lastSize = size;
      block.wanted = 1;
    }
    DWORD candidate = block.next++;
    if (candidate == 0) continue;
    if (!Exists(DescriptionPath(candidate)) && !Exists(DataPath(candidate))) {
      id = candidate;
      return ERROR_SUCCESS;
    }
  }
  return ERROR_PRINTQ_FULL;
}

DWORD FlushSpoolFolder() { return FlushFolder(SpoolDir()); }

const std::string& BootId() {
  static const std::string boot = [] {
    std::string id;
    std::ifstream in("/proc/sys/kernel/random/boot_id");
    std::getline(in, id);
    return in ? id : std::string();
  }();
  return boot;
}

DWORD ReadJob(DWORD id, JobDescription& job) {
  files::UniqueFd in(open(DescriptionPath(id).c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.Valid()) return ERROR_INVALID_PARAMETER;
  std::string text;
  char buffer[4096];
  for (;;) {
    ssize_t got = read(in.Get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return ERROR_INVALID_DATA;
    if (got == 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  if (!ParseDescription(text, job) || job.id != id) return ERROR_INVALID_DATA;
  // A process that can't tell its boot can't tell an earlier one either: it leaves the job be
  // (it may be another process's job of this boot, being sent right now).
  if (!job.unflushedBoot.empty() && !BootId().empty() && job.unflushedBoot != BootId()) {
    // Accepted without a flush before the machine restarted: its files may be cut short, and
    // its number was never shown (that waits until the job is sent or flushed). No job.
    RemoveJobFiles(id);
    return ERROR_INVALID_PARAMETER;
  }
  return ERROR_SUCCESS;
}

DWORD WriteJob(const JobDescription& job) {
  return WriteWholeFile(DescriptionPath(job.id), FormatDescription(job));
}

DWORD MakeJobDurable(JobDescription& job, int dataFd) {
  if (job.unflushedBoot.empty()) return ERROR_SUCCESS;
  // Guards the job's data: the description that vouches for it comes after.
  if (fsync(dataFd) != 0) return StatusFromErrno(errno);
  JobDescription durable = job;
  durable.unflushedBoot.clear();
  // Flushed before its rename (WriteJob), like any description that replaces the only one.
  if (DWORD status = WriteJob(durable); status != ERROR_SUCCESS) return status;
  job.unflushedBoot.clear();
  // Guards the rename: the job is durable once the folder is.
  return FlushSpoolFolder();
}

std::vector<DWORD> SpooledJobIds() {
  std::vector<DWORD> ids;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(SpoolDir(), error)) {
    DWORD id = 0;
    if (IdFromDescriptionName(entry.path().filename().string(), id)) ids.push_back(id);
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

namespace {

struct KnownDescription {
  ino_t inode = 0;
  off_t size = 0;
  int64_t modified = 0;
  int64_t changed = 0;
  std::string printer;
  std::string state;
};

// The ids of the descriptions in the spool as last listed, kept while the folder's status
// shows no change: an entry made, removed or renamed in the folder gives it a new modification
// and change time. A listing is kept only when it began after the folder's last change by more
// than the file system's time step, so that a later change (stamped with the same time, in the
// same clock tick or the same whole second of a file system that keeps seconds only) is never
// hidden behind it.
struct Listing {
  bool valid = false;
  dev_t device = 0;
  ino_t inode = 0;
  int64_t modified = 0;
  int64_t changed = 0;
  std::vector<DWORD> ids;  // ascending
};

struct DescriptionCache {
  std::mutex mutex;
  std::string spool;
  std::map<DWORD, KnownDescription> known;
  Listing listing;
};

DescriptionCache& TheDescriptions() {
  static auto* cache = new DescriptionCache;
  return *cache;
}

int64_t Nanoseconds(const timespec& time) { return int64_t{time.tv_sec} * 1000000000 + time.tv_nsec; }

// The largest time step a file system could have stamped `time` with, as far as the time tells:
// a time on a whole second may come from one that keeps seconds only (or two, as FAT does).
int64_t LargestStep(const timespec& time) {
  if (time.tv_nsec == 0) return 2000000000;
  int64_t step = 1;
  for (long rest = time.tv_nsec; rest % 10 == 0; rest /= 10) step *= 10;
  return step;
}

bool Shows(const Listing& listing, const struct stat& folder) {
  return listing.valid && listing.device == folder.st_dev && listing.inode == folder.st_ino &&
         listing.modified == Nanoseconds(folder.st_mtim) && listing.changed == Nanoseconds(folder.st_ctim);
}

// Lists the ids of all descriptions in the open spool folder, ascending.
void List(int dirFd, Listing& listing) {
  listing = {};
  struct stat folder {};
  if (fstat(dirFd, &folder) != 0) return;
  const int64_t modified = Nanoseconds(folder.st_mtim), changed = Nanoseconds(folder.st_ctim);
  // The tick this listing begins in: file times are taken from the same coarse clock (or a
  // finer one, never behind it).
  timespec now {};
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  files::UniqueFd own(dup(dirFd));
  DIR* dir = own.Valid() ? fdopendir(own.Get()) : nullptr;
  if (!dir) return;
  own.Release();  // the stream owns it now
  while (const dirent* entry = readdir(dir)) {
    DWORD id = 0;
    if (IdFromDescriptionName(entry->d_name, id)) listing.ids.push_back(id);
  }
  closedir(dir);
  std::sort(listing.ids.begin(), listing.ids.end());
  listing.valid = Nanoseconds(now) >= modified + LargestStep(folder.st_mtim) &&
                  Nanoseconds(now) >= changed + LargestStep(folder.st_ctim);
  listing.device = folder.st_dev;
  listing.inode = folder.st_ino;
  listing.modified = modified;
  listing.changed = changed;
}

}  // namespace

std::vector<SpooledJob> SpooledJobs(DWORD upTo, const std::function<bool(DWORD)>& skip) {
  std::vector<SpooledJob> jobs;
  const std::string spool = SpoolPath();
  DescriptionCache& cache = TheDescriptions();
  const auto forSpool = [&] {
    if (cache.spool == spool) return;
    cache.spool = spool;
    cache.known.clear();
    cache.listing = {};
  };
  // The folder is opened only to be listed, or when a job's description must be looked at.
  files::UniqueFd dirFd;
  const auto openFolder = [&] {
    if (!dirFd.Valid()) dirFd.Reset(open(spool.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dirFd.Valid();
  };
  std::vector<DWORD> ids;
  {
    std::lock_guard guard(cache.mutex);
    forSpool();
    struct stat folder {};
    if (stat(spool.c_str(), &folder) != 0 || !Shows(cache.listing, folder)) {
      if (!openFolder()) return jobs;
      List(dirFd.Get(), cache.listing);
    }
    for (DWORD id : cache.listing.ids) {
      if (id > upTo) break;
      ids.push_back(id);
    }
  }
  if (skip) std::erase_if(ids, skip);  // outside the cache's lock: `skip` may take locks of its own
  if (!ids.empty() && !openFolder()) ids.clear();  // the folder went: no job is in it

  std::lock_guard guard(cache.mutex);
  forSpool();

  std::map<DWORD, KnownDescription> seen;
  for (DWORD id : ids) {
    char name[32];
    std::snprintf(name, sizeof name, "%05u.shd", static_cast<unsigned>(id));
    struct stat info {};
    if (fstatat(dirFd.Get(), name, &info, 0) != 0) continue;  // gone meanwhile
    auto known = cache.known.find(id);
    if (known == cache.known.end() || known->second.inode != info.st_ino || known->second.size != info.st_size ||
        known->second.modified != Nanoseconds(info.st_mtim) || known->second.changed != Nanoseconds(info.st_ctim)) {
      JobDescription job;
      if (ReadJob(id, job) != ERROR_SUCCESS) continue;
      KnownDescription fresh{info.st_ino, info.st_size, Nanoseconds(info.st_mtim), Nanoseconds(info.st_ctim),
                             job.printer, job.state};
      known = cache.known.insert_or_assign(id, std::move(fresh)).first;
    }
    seen.insert(*known);
    jobs.push_back({id, known->second.printer, known->second.state});
  }
  // A scan of every job forgets those that left the spool; a partial one (whose jobs are in the
  // cache already) keeps those it did not look at.
  if (upTo == 0xFFFFFFFFu && !skip) cache.known = std::move(seen);
  return jobs;
}

void RemoveJobDescription(DWORD id) { unlink(DescriptionPath(id).c_str()); }

void RemoveJobFiles(DWORD id) {
  unlink(DescriptionPath(id).c_str());
  unlink(DataPath(id).c_str());
}

std::string SentDir() { return SpoolPath() + "/sent"; }
std::string SentPath(DWORD id) { return SentDir() + "/" + std::to_string(id); }

namespace {

// Makes the notes' folder (and the spool above it) when missing.
void MakeSentDir() {
  SpoolDir();
  mkdir(SentDir().c_str(), 0755);
}

// Renames the job's description to its note; the notes' folder is made only when the rename
// finds it missing (it exists but the first time).
bool RenameDescriptionToNote(DWORD id) {
  const std::string description = DescriptionPath(id), note = SentPath(id);
  if (rename(description.c_str(), note.c_str()) == 0) return true;
  if (errno != ENOENT || access(description.c_str(), F_OK) != 0) return false;
  MakeSentDir();
  return rename(description.c_str(), note.c_str()) == 0;
}

}  // namespace

void RecordSent(DWORD id) {
  files::UniqueFd note(open(SentPath(id).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (note.Valid() || errno != ENOENT) return;
  MakeSentDir();
  note.Reset(open(SentPath(id).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
}

void RetireSentJob(DWORD id) {
  // The description itself becomes the note: a rename, where a new note and a removed
  // description would cost the file system an inode made and one freed per job.
  if (!RenameDescriptionToNote(id)) {
    RecordSent(id);
    unlink(DescriptionPath(id).c_str());
  }
  unlink(DataPath(id).c_str());
}

bool RetireDescriptionAsSent(DWORD id) {
  if (RenameDescriptionToNote(id)) return true;
  unlink(DescriptionPath(id).c_str());
  return false;
}

void RemoveJobData(DWORD id) { unlink(DataPath(id).c_str()); }

void ForgetSent(DWORD id) { unlink(SentPath(id).c_str()); }

bool WasSent(DWORD id) { return Exists(SentPath(id)); }

namespace {

// Notes are looked at by one command a minute, whichever comes first: the time of the last look
// is that of the marker "sent/.swept" (one status call instead of one per note). A note then
// lives ten to eleven minutes.
bool SentNotesSweptRecently() {
  const std::string marker = SentDir() + "/.swept";
  struct stat info {};
  if (stat(marker.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    const time_t now = time(nullptr);
    if (info.st_mtime <= now && now - info.st_mtime < 60) return true;
  }
  if (utimensat(AT_FDCWD, marker.c_str(), nullptr, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT)
    files::UniqueFd made(open(marker.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
  return false;
}

}  // namespace

void SweepSpool() {
  namespace fs = std::filesystem;
  std::error_code error;
  auto now = fs::file_time_type::clock::now();
  auto old = [&](const fs::path& path) {
    auto written = fs::last_write_time(path, error);
    return !error && now - written > std::chrono::minutes(10);
  };
  // A note's age is that of its last change of status: a note renamed from a description
  // keeps the description's older write time.
  const auto changedAgo = std::chrono::system_clock::now().time_since_epoch();
  if (!SentNotesSweptRecently()) {
    for (const auto& entry : fs::directory_iterator(SentDir(), error)) {
      if (entry.path().filename().string()[0] == '.') continue;  // the marker
      struct stat info {};
      if (stat(entry.path().c_str(), &info) != 0) continue;
      const auto changed = std::chrono::seconds(info.st_ctim.tv_sec) + std::chrono::nanoseconds(info.st_ctim.tv_nsec);
      if (changedAgo - changed > std::chrono::minutes(10)) unlink(entry.path().c_str());
    }
  }
  // Names first: data is an orphan only when its description is not among them (and, looked at
  // again, still not there), so a full spool costs no status call per job.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(SpoolDir(), error)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  const auto listed = [&](const std::string& name) { return std::binary_search(names.begin(), names.end(), name); };
  const std::string spool = SpoolPath() + "/";
  for (const std::string& name : names) {
    const std::string path = spool + name;
    bool temporary = name.size() > 1 && name[0] == '.';
    bool data = name.find(".spl") != std::string::npos;
    // A temporary file is flocked only a moment after it is made: the age tells it apart from
    // one whose writer has not locked it yet.
    if (temporary && (name.find(".spl.") != std::string::npos || name.find(".shd.") != std::string::npos)) {
      if (!old(path)) continue;
      if (!data) {
        unlink(path.c_str());
        continue;
      }
    }
    DWORD id = 0;
    bool orphan = !temporary && name.size() > 4 && name.compare(name.size() - 4, 4, ".spl") == 0 &&
                  IdFromDescriptionName(name.substr(0, name.size() - 4) + ".shd", id) &&
                  !listed(name.substr(0, name.size() - 4) + ".shd") && !Exists(DescriptionPath(id));
    if (!(temporary && data) && !orphan) continue;
    files::UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Valid() && flock(fd.Get(), LOCK_EX | LOCK_NB) == 0) {
      // Held now: a spooler that is still writing would hold it. Look again, since the
      // description may have arrived between the test above and the lock.
      if (temporary || !Exists(DescriptionPath(id))) unlink(path.c_str());
    }
  }
}

DWORD RemoveJob(DWORD id) {
  JobLock lock;
  if (DWORD status = lock.Acquire(id, false); status != ERROR_SUCCESS) return status;
  if (!Exists(DescriptionPath(id))) return ERROR_INVALID_PARAMETER;
  RemoveJobFiles(id);
  return ERROR_SUCCESS;
}

DWORD JobLock::Acquire(DWORD id, bool wait) {
  fd_.Reset(open(DataPath(id).c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd_.Valid()) return errno == ENOENT ? ERROR_INVALID_PARAMETER : StatusFromErrno(errno);
  while (flock(fd_.Get(), wait ? LOCK_EX : LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    DWORD status = errno == EWOULDBLOCK ? ERROR_BUSY : StatusFromErrno(errno);
    fd_.Reset();
    return status;
  }
  return ERROR_SUCCESS;
}

bool IsJobClaimed(DWORD id) {
  files::UniqueFd fd(open(DataPath(id).c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) return false;
  return flock(fd.Get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

}  // namespace qv::spool
