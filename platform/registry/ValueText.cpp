#include "ValueText.h"

#include <qv/utf.h>
#include <winreg.h>

#include <cstring>

namespace qv::registry {

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

std::string StoredFromAnsi(std::string_view ansi) {
  std::u16string wide = qv::ToUtf16(ansi);
  std::string bytes(wide.size() * sizeof(char16_t), '\0');
  std::memcpy(bytes.data(), wide.data(), bytes.size());
  return bytes;
}

std::string AnsiFromStored(std::string_view stored) {
  std::u16string wide(stored.size() / sizeof(char16_t), u'\0');
  std::memcpy(wide.data(), stored.data(), wide.size() * sizeof(char16_t));
  return qv::ToUtf8(wide);
}

std::string NameFromAnsi(LPCSTR name) {
  if (!name) return std::string();
  return qv::ToUtf8(qv::ToUtf16(name));
}

std::string NameFromWide(LPCWSTR name) {
  if (!name) return std::string();
  return qv::ToUtf8(std::u16string_view(name));
}

}  // namespace qv::registry
