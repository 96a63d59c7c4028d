#include "ClassKeys.h"

#include "OwnedKey.h"

#include <vector>

namespace qv::com {

std::u16string GuidText(REFGUID guid) {
  WCHAR buffer[40];
  int length = StringFromGUID2(guid, buffer, 40);
  return std::u16string(buffer, length > 0 ? length - 1 : 0);
}

LSTATUS ReadKeyText(HKEY root, const std::u16string& path, const WCHAR* name,
                    std::u16string& text) {
  OwnedKey key;
  LSTATUS status = RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, key.Receive());
  if (status != ERROR_SUCCESS) return status;
  // Most values fit the first buffer: one call reads them. A longer one is read again with the
  // size the call reported; it may grow meanwhile when another process writes it, so ask
  // again a few times rather than give up at once.
  std::vector<WCHAR> data(128, 0);
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = 0;
    DWORD read = static_cast<DWORD>(data.size() * sizeof(WCHAR));
    status = RegQueryValueExW(key.Get(), name, nullptr, &type,
                              reinterpret_cast<LPBYTE>(data.data()), &read);
    if (status == ERROR_MORE_DATA) {
      data.assign(read / sizeof(WCHAR) + 1, 0);
      continue;
    }
    if (status != ERROR_SUCCESS) return status;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
    std::u16string value(data.data(), read / sizeof(WCHAR));
    text = value.substr(0, value.find(u'\0'));
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}

LSTATUS WriteKeyText(HKEY root, const std::u16string& path, const WCHAR* name,
                     const std::u16string& text) {
  OwnedKey key;
  LSTATUS status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_WRITE, nullptr, key.Receive(), nullptr);
  if (status != ERROR_SUCCESS) return status;
  DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR));
  return RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        bytes);
}

LSTATUS DeleteKeyTree(HKEY root, const std::u16string& path) {
  {
    OwnedKey key;
    LSTATUS status = RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, key.Receive());
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
