#include "StatusText.h"

#include "Command.h"

#include <qv/prefix.h>
#include <winerror.h>

#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace qv::cli {

namespace {

// The store's own failures: the registry file can't be opened, written or read.
bool IsStoreFailure(DWORD status) {
  return status == ERROR_CANTOPEN || status == ERROR_CANTWRITE || status == ERROR_REGISTRY_CORRUPT ||
         status == ERROR_REGISTRY_IO_FAILED || status == ERROR_BUSY || status == ERROR_ACCESS_DENIED;
}

}  // namespace

void RequireInstallation() {
  const std::string dir = qv::ChosenPrefixDir();
  if (std::filesystem::exists(dir + "/registry.db")) return;
  throw Failure("no Quorvane installation at " + dir +
                " (run \"quorvane install\", or set QUORVANE_PREFIX or --prefix)");
}

std::string PermissionText(const std::string& path) {
  return "permission denied on " + path + ": run as root, or use a prefix of your own with QUORVANE_PREFIX";
}

void FailWithStatus(const std::string& what, DWORD status) {
  if (IsStoreFailure(status)) {
    // The state's failures name the prefix they come from; a permission problem says so in words.
    const std::string store = qv::ChosenPrefixDir() + "/registry.db";
    if (access(store.c_str(), R_OK | W_OK) != 0 && errno == EACCES) throw Failure(PermissionText(store));
    if (status != ERROR_ACCESS_DENIED)
      throw Failure(what + ": " + StatusText(status) + " (registry " + store + ")");
  }
  throw Failure(what + ": " + StatusText(status));
}

}  // namespace qv::cli
