#include "RegistryKey.h"

#include <qv/utf.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace qv::spool {

DWORD RegistryKey::Open(const std::string& path) {
  Close();
  std::u16string wide = ToUtf16(path);
  return static_cast<DWORD>(RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), 0, KEY_ALL_ACCESS, key_.Out()));
}

DWORD RegistryKey::Create(const std::string& path, bool* created) {
  Close();
  std::u16string wide = ToUtf16(path);
  DWORD disposition = 0;
  LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), 0, nullptr,
                                   REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key_.Out(),
                                   &disposition);
  if (created) *created = status == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
  return static_cast<DWORD>(status);
}

DWORD RegistryKey::Load(const std::string& path) {
  Close();
  DWORD status = static_cast<DWORD>(ReadRegistryValues(path, values_));
  loaded_ = status == ERROR_SUCCESS;
  return status;
}

void RegistryKey::Close() {
  key_.Reset();
  loaded_ = false;
  values_.clear();
}

const RegistryValue* RegistryKey::Loaded(const std::string& name) const {
  // Value names are case-insensitive; the print system's own names are plain ASCII.
  for (const RegistryValue& value : values_)
    if (value.name.size() == name.size() &&
        std::equal(name.begin(), name.end(), value.name.begin(),
                   [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); }))
      return &value;
  return nullptr;
}

DWORD RegistryKey::ReadString(const std::string& name, std::string& value) const {
  if (loaded_) {
    const RegistryValue* found = Loaded(name);
    if (!found) return ERROR_FILE_NOT_FOUND;
    if (found->type != REG_SZ && found->type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
    std::u16string text(found->data.size() / sizeof(char16_t), u'\0');
    std::memcpy(text.data(), found->data.data(), text.size() * sizeof(char16_t));
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    value = ToUtf8(text);
    return ERROR_SUCCESS;
  }
  std::u16string wideName = ToUtf16(name);
  // Most values fit a small buffer: one registry call reads them. A longer one is read again
  // into a buffer of the size the first call reported.
  std::u16string text(128, u'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = 0;
    DWORD got = static_cast<DWORD>(text.size() * sizeof(WCHAR));
    LSTATUS status = RegQueryValueExW(key_.Get(), wideName.c_str(), nullptr, &type,
                                      reinterpret_cast<LPBYTE>(text.data()), &got);
    if (status == ERROR_MORE_DATA) {
      text.assign(got / sizeof(WCHAR) + 1, u'\0');
      continue;
    }
    if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
    text.resize(got / sizeof(WCHAR));
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    value = ToUtf8(text);
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;  // kept growing between the reads
}

std::string RegistryKey::StringOr(const std::string& name, const std::string& fallback) const {
  std::string value;
  return ReadString(name, value) == ERROR_SUCCESS ? value : fallback;
}

DWORD RegistryKey::ReadDword(const std::string& name, DWORD& value) const {
  if (loaded_) {
    const RegistryValue* found = Loaded(name);
    if (!found) return ERROR_FILE_NOT_FOUND;
    if (found->type != REG_DWORD || found->data.size() != sizeof(DWORD)) return ERROR_INVALID_DATA;
    std::memcpy(&value, found->data.data(), sizeof(DWORD));
    return ERROR_SUCCESS;
  }
  std::u16string wideName = ToUtf16(name);
  DWORD type = 0;
  DWORD data = 0;
  DWORD size = sizeof(data);
  LSTATUS status = RegQueryValueExW(key_.Get(), wideName.c_str(), nullptr, &type,
                                    reinterpret_cast<LPBYTE>(&data), &size);
  if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
  if (type != REG_DWORD || size != sizeof(data)) return ERROR_INVALID_DATA;
  value = data;
  return ERROR_SUCCESS;
}

DWORD RegistryKey::DwordOr(const std::string& name, DWORD fallback) const {
  DWORD value = 0;
  return ReadDword(name, value) == ERROR_SUCCESS ? value : fallback;
}

DWORD RegistryKey::WriteString(const std::string& name, const std::string& value) const {
  std::u16string wideName = ToUtf16(name);
  std::u16string text = ToUtf16(value);
  return static_cast<DWORD>(RegSetValueExW(key_.Get(), wideName.c_str(), 0, REG_SZ,
                                           reinterpret_cast<const BYTE*>(text.c_str()),
                                           static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR))));
}

DWORD RegistryKey::WriteDword(const std::string& name, DWORD value) const {
  std::u16string wideName = ToUtf16(name);
  return static_cast<DWORD>(RegSetValueExW(key_.Get(), wideName.c_str(), 0, REG_DWORD,
                                           reinterpret_cast<const BYTE*>(&value), sizeof(value)));
}

DWORD RegistryKey::DeleteValue(const std::string& name) const {
  std::u16string wideName = ToUtf16(name);
  return static_cast<DWORD>(RegDeleteValueW(key_.Get(), wideName.c_str()));
}

std::vector<std::string> RegistryKey::SubKeys() const {
  std::vector<std::string> names;
  if (!key_) return names;
  for (DWORD index = 0;; ++index) {
    WCHAR name[256];
    DWORD length = 256;
    const LSTATUS status = RegEnumKeyExW(key_.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    // A name too long for a key (only a store written before such names were refused holds
    // one) names no printer, monitor or port: skipped, so the keys after it are still seen.
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) break;
    names.push_back(ToUtf8(std::u16string_view(name, length)));
  }
  return names;
}

bool RegistryKey::HasSubKey(const std::string& name) const {
  if (!key_ || name.empty() || name.find('\\') != std::string::npos) return false;
  std::u16string wide = ToUtf16(name);
  win::UniqueHKey sub;
  return RegOpenKeyExW(key_.Get(), wide.c_str(), 0, KEY_READ, sub.Out()) == ERROR_SUCCESS;
}

DWORD RegistryKey::DeleteSubKey(const std::string& name) const {
  if (name.empty() || name.find('\\') != std::string::npos) return ERROR_INVALID_PARAMETER;
  std::u16string wide = ToUtf16(name);
  return static_cast<DWORD>(RegDeleteKeyW(key_.Get(), wide.c_str()));
}

}  // namespace qv::spool
