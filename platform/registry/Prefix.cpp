// The prefix: where it is, creating it on first use, and the platform library's own folder.
#include "HandleTable.h"
#include "Store.h"

#include <qv/prefix.h>

#include <dlfcn.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>

namespace qv {

namespace {

std::mutex& PrefixMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}

std::string& Override() {
  static std::string* value = new std::string;
  return *value;
}

std::string HomeDir() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/tmp";
}

std::string ChosenPrefix() {
  if (!Override().empty()) return Override();
  const char* fromEnv = std::getenv("QUORVANE_PREFIX");
  if (fromEnv && *fromEnv) return fromEnv;
  if (geteuid() == 0) return "/var/lib/quorvane";
  return HomeDir() + "/.local/share/quorvane";
}

// Creates the folder when it is missing. A failure is told once per folder; the store and the
// files below then fail with their own statuses.
void EnsureFolder(const std::string& dir) {
  // Every lock and path lookup asks for the prefix: make the folder once per prefix chosen.
  static std::string* ensured = new std::string;
  if (*ensured == dir) return;
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (!error) {
    *ensured = dir;
    return;
  }
  static std::set<std::string>* reported = new std::set<std::string>;
  if (reported->insert(dir).second)
    std::fprintf(stderr, "quorvane: cannot create the prefix %s (%s)\n", dir.c_str(), error.message().c_str());
}

}  // namespace

std::string PrefixDir() {
  std::lock_guard lock(PrefixMutex());
  std::string dir = ChosenPrefix();
  EnsureFolder(dir);
  return dir;
}

std::string ChosenPrefixDir() {
  std::lock_guard lock(PrefixMutex());
  return ChosenPrefix();
}

void SetPrefixOverride(const std::string& dir) {
  {
    std::lock_guard lock(PrefixMutex());
    Override() = dir;
  }
  // Open keys and the connection belong to the old prefix's store.
  registry::Store::Instance().Close();
  registry::HandleTable::Instance().Clear();
}

std::string LibraryDir() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&LibraryDir), &info) || !info.dli_fname) return ".";
  std::error_code error;
  std::filesystem::path file = std::filesystem::canonical(info.dli_fname, error);
  if (error) file = std::filesystem::absolute(info.dli_fname, error);
  return file.parent_path().string();
}

}  // namespace qv
