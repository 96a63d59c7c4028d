#include "Litter.h"

#include "UniqueFd.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace qv::files {
namespace {

using Clock = std::chrono::steady_clock;

bool Unwritten(const struct stat& info) {
  return time(nullptr) - info.st_mtime > kLitterMinutes * 60;
}

// Whether `key` was looked at recently; notes that it is being looked at now.
bool SweptRecently(const std::string& key) {
  static std::mutex lock;
  static std::map<std::string, Clock::time_point> swept;
  std::lock_guard guard(lock);
  const Clock::time_point now = Clock::now();
  auto found = swept.find(key);
  if (found != swept.end() && now - found->second < std::chrono::minutes(2)) return true;
  if (swept.size() > 4096) swept.clear();
  swept[key] = now;
  return false;
}

// The pid in ".qvcopy-<hex pid>-..."; 0 when the name is not a staging file's.
pid_t StagingOwner(const char* name) {
  static const char kPrefix[] = ".qvcopy-";
  if (std::string_view(name).substr(0, sizeof kPrefix - 1) != kPrefix) return 0;
  char* end = nullptr;
  const unsigned long pid = std::strtoul(name + sizeof kPrefix - 1, &end, 16);
  return end && *end == '-' && pid > 0 ? static_cast<pid_t>(pid) : 0;
}

bool ProcessIsGone(pid_t pid) { return kill(pid, 0) != 0 && errno == ESRCH; }

// Calls `visit(name)` for each entry of the open folder (which stays open).
template <class Visit>
void EachEntry(int folderFd, Visit&& visit) {
  const int own = dup(folderFd);
  if (own < 0) return;
  DIR* folder = fdopendir(own);
  if (!folder) {
    close(own);
    return;
  }
  rewinddir(folder);
  while (const dirent* entry = readdir(folder)) visit(entry->d_name);
  closedir(folder);
}

struct Holder {
  std::mutex lock;
  std::map<std::string, int> held;
};

Holder& Held() {
  static auto* holder = new Holder;  // outlives every static destructor
  return *holder;
}

}  // namespace

void SweepStagingFiles(int folderFd) {
  struct stat folder;
  if (fstat(folderFd, &folder) != 0) return;
  if (SweptRecently("staging:" + std::to_string(folder.st_dev) + ":" + std::to_string(folder.st_ino))) return;
  EachEntry(folderFd, [&](const char* name) {
    const pid_t owner = StagingOwner(name);
    if (owner == 0 || owner == getpid() || !ProcessIsGone(owner)) return;
    struct stat info;
    if (fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) || !Unwritten(info)) return;
    unlinkat(folderFd, name, 0);
  });
}

void HoldTemporaryFile(const std::string& hostPath, int fd) {
  UniqueFd owned(fd);
  if (flock(fd, LOCK_SH | LOCK_NB) != 0) return;
  std::lock_guard guard(Held().lock);
  auto [entry, added] = Held().held.emplace(hostPath, fd);
  if (!added) return;  // already held (a name used twice): the first hold stays
  owned.Release();
}

void ReleaseTemporaryFile(const std::string& hostPath) {
  std::lock_guard guard(Held().lock);
  auto found = Held().held.find(hostPath);
  if (found == Held().held.end()) return;
  close(found->second);
  Held().held.erase(found);
}

void SweepTemporaryFiles(const std::string& hostFolder, const std::string& prefix) {
  if (SweptRecently("temporary:" + hostFolder + "\n" + prefix)) return;
  UniqueFd folder(open(hostFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.Valid()) return;
  EachEntry(folder.Get(), [&](const char* entry) {
    const std::string_view name(entry);
    if (name.size() <= prefix.size() + 4 || name.substr(0, prefix.size()) != prefix ||
        name.substr(name.size() - 4) != ".tmp")
      return;
    UniqueFd file(openat(folder.Get(), entry, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info;
    if (!file.Valid() || fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) || !Unwritten(info)) return;
    // Held by its owner while it lives: a file nobody holds was left by a process now gone.
    if (flock(file.Get(), LOCK_EX | LOCK_NB) != 0) return;
    struct stat named;
    if (fstatat(folder.Get(), entry, &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_ino != info.st_ino ||
        named.st_dev != info.st_dev)
      return;
    unlinkat(folder.Get(), entry, 0);
  });
}

}  // namespace qv::files
