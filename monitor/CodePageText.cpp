#include "CodePageText.h"
#include "win/WideString.h"

#include <qv/macros.h>

namespace Quorvane {

std::string CodePageText(const win::WideString& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), length, narrow.data(), size, nullptr, nullptr);
  return narrow;
}

win::WideString EscapeControlCharacters(const win::WideString& text) {
  win::WideString escaped;
  escaped.reserve(text.size());
  for (const WCHAR c : text) {
    if (c == WCHAR('\r')) {
      escaped += WSTR("\\r");
    } else if (c == WCHAR('\n')) {
      escaped += WSTR("\\n");
    } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
      constexpr WCHAR kDigits[] = WSTR("0123456789abcdef");
      escaped += WSTR("\\x");
      escaped += kDigits[(c >> 4) & 0xF];
      escaped += kDigits[c & 0xF];
    } else {
      escaped += c;
    }
  }
  return escaped;
}
}  // namespace Quorvane
