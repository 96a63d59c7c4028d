// Key paths as the reg command and .reg files write them: a root (HKLM, HKEY_LOCAL_MACHINE,
// HKCR, HKEY_CLASSES_ROOT, in any case) and the path below it.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

namespace qv::cli {

struct RegistryPath {
  HKEY root = nullptr;
  std::string rootName;  // the full name: "HKEY_LOCAL_MACHINE" or "HKEY_CLASSES_ROOT"
  std::string sub;       // below the root, without a leading or trailing "\"

  std::string Text() const { return sub.empty() ? rootName : rootName + "\\" + sub; }
  std::u16string Sub() const;
  RegistryPath Child(const std::string& name) const;
};

// Parses `text`; on bad input returns false and names the problem.
bool ParseRegistryPath(std::string_view text, RegistryPath& path, std::string& problem);

// Whether the keys of `path` may be created: every name at most 255 characters, as the
// registry allows. Existing keys with longer names (from older stores) can still be read and
// deleted, so only the commands that create keys ask. On false, names the problem.
bool CanCreateKeys(const RegistryPath& path, std::string& problem);

}  // namespace qv::cli
