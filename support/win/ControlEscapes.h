// Control characters written as visible escapes ("\r", "\n", "\xNN"), so that text chosen by
// whoever prints (a document name, a path) can't break or forge a line of a log. Ordinary text,
// non-ASCII letters included, stays as it is. Shared by both loggers.
#pragma once
#include <qv/macros.h>

#include "win/WideString.h"

namespace win {

inline WideString EscapeControlCharacters(WideStringView text) {
  WideString escaped;
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

}  // namespace win
