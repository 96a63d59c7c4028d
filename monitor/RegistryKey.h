// One open registry key, closed when the object goes.
#pragma once
#include <windows.h>

namespace Quorvane {

class RegistryKey {
 public:
  RegistryKey() = default;
  virtual ~RegistryKey();
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens `path` below `root` with `access` (RegOpenKeyExW), closing any key held before.
  LSTATUS Open(HKEY root, LPCWSTR path, REGSAM access);
  void Close();

  // Null when no key is open.
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace Quorvane
