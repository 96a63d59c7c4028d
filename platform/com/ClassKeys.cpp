#include "ClassKeys.h"

#include <qv/registry_store.h>
#include <qv/utf.h>

#include <win/UniqueResource.h>

#include <vector>

namespace qv::com {

std::u16string GuidText(REFGUID guid) {
  WCHAR buffer[40];
  int length = StringFromGUID2(guid, buffer, 40);
  return std::u16string(buffer, length > 0 ? length - 1 : 0);
}

LSTATUS ReadKeyText(HKEY root, const std::u16string& path, const WCHAR* name,
                    std::u16string& text) {
  // The key and its value in one registry read.
  qv::RegistryValue value;
  LSTATUS status = qv::ReadRegistryValue(root, qv::ToUtf8(path), name ? qv::ToUtf8(name) : std::string(), value);
  if (status != ERROR_SUCCESS) return status;
  if (!qv::RegistryText(value, text)) return ERROR_INVALID_DATA;
  return ERROR_SUCCESS;
}

LSTATUS WriteKeyText(HKEY root, const std::u16string& path, const WCHAR* name,
                     const std::u16string& text) {
  win::UniqueHKey key;
  LSTATUS status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_WRITE, nullptr, key.Out(), nullptr);
  if (status != ERROR_SUCCESS) return status;
  DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR));
  return RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        bytes);
}

LSTATUS DeleteKeyTree(HKEY root, const std::u16string& path) {
  {
    win::UniqueHKey key;
    LSTATUS status = RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, key.Out());
    if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    // The registry refuses to delete a key that still has subkeys: remove them first, always
    // taking the first one, since each deletion renumbers the rest.
    std::u16string previous;
    for (;;) {
      WCHAR child[256] = {};
      status = RegEnumKeyW(key.Get(), 0, child, 256);
      if (status == ERROR_NO_MORE_ITEMS) break;
      if (status != ERROR_SUCCESS) return status;
      // A subkey that reports itself deleted yet is still listed would loop forever.
      if (!previous.empty() && previous == child) return ERROR_ACCESS_DENIED;
      previous = child;
      status = DeleteKeyTree(key.Get(), child);
      if (status != ERROR_SUCCESS) return status;
    }
  }
  LSTATUS status = RegDeleteKeyW(root, path.c_str());
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

}  // namespace qv::com
