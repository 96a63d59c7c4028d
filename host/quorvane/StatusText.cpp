#include "StatusText.h"

#include "Command.h"

#include <qv/prefix.h>
#include <winerror.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

namespace qv::cli {

namespace {

std::string StorePath() { return qv::ChosenPrefixDir() + "/registry.db"; }

// Why the store's file refuses this process's writes, when it does: a permission, said in
// words, or a file or file system made read-only.
std::optional<std::string> StoreRefusal(const std::string& what) {
  const std::string store = StorePath();
  if (access(store.c_str(), R_OK | W_OK) == 0) return std::nullopt;
  if (errno == EACCES) return PermissionText(store);
  if (errno == EPERM || errno == EROFS)
    return "the registry " + store + " can't be written: " + std::strerror(errno) + " (" + what + ")";
  return std::nullopt;
}

}  // namespace

bool IsStoreFailure(DWORD status) {
  return status == ERROR_CANTOPEN || status == ERROR_CANTWRITE || status == ERROR_REGISTRY_CORRUPT ||
         status == ERROR_REGISTRY_IO_FAILED || status == ERROR_BUSY || status == ERROR_ACCESS_DENIED;
}

void RequireInstallation() {
  const std::string dir = qv::ChosenPrefixDir();
  if (std::filesystem::exists(dir + "/registry.db")) return;
  throw Failure("no Quorvane installation at " + dir +
                " (run \"quorvane install\", or set QUORVANE_PREFIX or --prefix)");
}

std::string PermissionText(const std::string& path) {
  return "permission denied on " + path + ": run as root, or use a prefix of your own with QUORVANE_PREFIX";
}

std::string StatusFailureText(const std::string& what, DWORD status) {
  if (IsStoreFailure(status)) {
    // What failed is the registry store, not what was being done: the message names its file.
    // A permission problem says so in words.
    if (std::optional<std::string> refusal = StoreRefusal(what)) return *refusal;
    if (status != ERROR_ACCESS_DENIED)
      return "the registry " + StorePath() + ": " + StatusText(status) + " (" + what + ")";
  }
  return what + ": " + StatusText(status);
}

void FailWithStatus(const std::string& what, DWORD status) { throw Failure(StatusFailureText(what, status)); }

void FailIfStoreIsReadOnly(const std::string& what) {
  if (std::optional<std::string> refusal = StoreRefusal(what)) throw Failure(*refusal);
}

std::string InPrefix() {
  // Appended piece by piece: g++ 12 at -O3 gives a false -Wrestrict for "lit" + std::string.
  std::string text = " in ";
  text += qv::ChosenPrefixDir();
  return text;
}

}  // namespace qv::cli
