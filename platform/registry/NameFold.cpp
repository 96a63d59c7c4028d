#include "NameFold.h"

#include <qv/utf.h>

#include <locale.h>
#include <wctype.h>

#include <algorithm>

namespace qv::registry {

namespace {

// The simple upper-case mapping of the C.UTF-8 locale, independent of the process's own
// locale. Without it (a system lacking the locale) only ASCII folds.
locale_t UnicodeLocale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return locale;
}

char16_t UpperUnit(char16_t unit) {
  if (unit < 0x80) return (unit >= u'a' && unit <= u'z') ? unit - (u'a' - u'A') : unit;
  if (unit >= 0xD800 && unit <= 0xDFFF) return unit;  // half of a surrogate pair
  locale_t locale = UnicodeLocale();
  if (!locale) return unit;
  wint_t upper = towupper_l(unit, locale);
  return upper <= 0xFFFF ? static_cast<char16_t>(upper) : unit;
}

}  // namespace

std::string FoldName(std::string_view utf8) {
  bool ascii = std::all_of(utf8.begin(), utf8.end(), [](char c) { return (c & 0x80) == 0; });
  if (ascii) {
    std::string folded(utf8);
    for (char& c : folded)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
    return folded;
  }
  std::u16string wide = qv::ToUtf16(utf8);
  for (char16_t& unit : wide) unit = UpperUnit(unit);
  return qv::ToUtf8(wide);
}

}  // namespace qv::registry
