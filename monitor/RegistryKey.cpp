#include "RegistryKey.h"

namespace Quorvane {

RegistryKey::~RegistryKey() { Close(); }

LSTATUS RegistryKey::Open(HKEY root, LPCWSTR path, REGSAM access) {
  Close();
  HKEY key = nullptr;
  const LSTATUS status = RegOpenKeyExW(root, path, 0, access, &key);
  if (status == ERROR_SUCCESS) key_ = key;
  return status;
}

void RegistryKey::Close() {
  if (key_) RegCloseKey(key_);
  key_ = nullptr;
}

}  // namespace Quorvane
