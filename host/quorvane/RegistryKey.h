// An open registry key owned by the quorvane command, closed when it goes away, with the
// walks the reg and drive commands need. Failures come back as statuses.
#pragma once
#include <windows.h>
#include <win/UniqueResource.h>

#include <functional>
#include <string>
#include <vector>

namespace qv::cli {

// A value as stored: UTF-16 name, type and raw bytes (string types in UTF-16).
struct RegistryValue {
  std::u16string name;
  DWORD type = REG_NONE;
  std::string data;
};

class RegistryKey {
 public:
  LSTATUS Open(HKEY root, const std::u16string& path);
  LSTATUS Create(HKEY root, const std::u16string& path);
  HKEY Get() const { return key_.Get(); }

  LSTATUS SubkeyNames(std::vector<std::u16string>& names) const;
  LSTATUS Values(std::vector<RegistryValue>& values) const;
  LSTATUS Query(const std::u16string& name, RegistryValue& value) const;
  LSTATUS Set(const RegistryValue& value) const;
  LSTATUS Delete(const std::u16string& valueName) const;

 private:
  win::UniqueHKey key_;
};

// Deletes `path` below `root` with everything under it, deepest keys first.
LSTATUS DeleteTree(HKEY root, const std::u16string& path);

// Visits `key` (named `path`) and every key below it, each before its subkeys, subkeys in the
// order SubkeyNames gives. Iterative, so no depth of stored tree can exhaust the stack. The
// first status other than 0 (from a visit, an open or a listing) ends the walk; `failedPath`
// then names the key it concerned.
LSTATUS WalkTree(const RegistryKey& key, const std::string& path,
                 const std::function<LSTATUS(const RegistryKey&, const std::string&)>& visit,
                 std::string& failedPath);

}  // namespace qv::cli
