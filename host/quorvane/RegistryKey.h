// An open registry key owned by the quorvane command, closed when it goes away, with the
// walks the reg and drive commands need. Failures come back as statuses.
#pragma once
#include <windows.h>

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
  RegistryKey() = default;
  ~RegistryKey();
  RegistryKey(RegistryKey&& other) noexcept;
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  LSTATUS Open(HKEY root, const std::u16string& path);
  LSTATUS Create(HKEY root, const std::u16string& path);
  HKEY Get() const { return key_; }

  LSTATUS SubkeyNames(std::vector<std::u16string>& names) const;
  LSTATUS Values(std::vector<RegistryValue>& values) const;
  LSTATUS Query(const std::u16string& name, RegistryValue& value) const;
  LSTATUS Set(const RegistryValue& value) const;
  LSTATUS Delete(const std::u16string& valueName) const;

 private:
  void Close();
  HKEY key_ = nullptr;
};

// Deletes `path` below `root` with everything under it, deepest keys first.
LSTATUS DeleteTree(HKEY root, const std::u16string& path);

}  // namespace qv::cli
