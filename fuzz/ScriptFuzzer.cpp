// A port's script text, as stored in the registry, loaded into its list of actions. The list
// must be what a small model of the text form says (lines split at CR LF, taken until one
// names no action, each action's text after its name trimmed of blanks), and storing the list
// and loading it again must give the same list, but for what the code page can't hold: a
// script is stored through the ANSI registry calls, so a lone surrogate (as left when the
// character passed over after an action's name is half of a pair) comes back as U+FFFD.
#include "FuzzSupport.h"

#include <TempPrefix.h>

#include "MonitorKey.h"
#include "Script.h"

namespace {

const std::u16string kPort = u"FUZZ1";

std::u16string Trimmed(std::u16string_view text) {
  const size_t first = text.find_first_not_of(u' ');
  if (first == std::u16string_view::npos) return {};
  return std::u16string(text.substr(first, text.find_last_not_of(u' ') - first + 1));
}

// The model: the text of each action the script's text holds.
std::vector<std::u16string> ExpectedActions(std::u16string_view text) {
  std::vector<std::u16string> actions;
  if (text.empty()) return actions;
  for (;;) {
    const size_t end = text.find(u"\r\n");
    const std::u16string_view line = text.substr(0, end);
    std::u16string_view name;
    for (std::u16string_view kind : {u"Reprint", u"WriteFile"})
      if (line.substr(0, kind.size()) == kind) name = kind;
    if (name.empty()) break;
    // The character after the name (":" when written by the system) is passed over.
    const std::u16string_view rest = line.size() > name.size() + 1 ? line.substr(name.size() + 1) : u"";
    actions.push_back(std::u16string(name) + u": " + Trimmed(rest));
    if (end == std::u16string_view::npos) break;
    text.remove_prefix(end + 2);
  }
  return actions;
}

std::vector<std::u16string> Loaded() {
  MarrowjetUI::Script script;
  script.LoadFromRegistry(kPort);
  std::vector<std::u16string> actions;
  for (const MarrowjetUI::ActionRef& action : script.GetActions()->NewEnum()) actions.push_back(action->AsString());
  return actions;
}

// Each action on a line of its own; anything but printable ASCII as its UTF-16 code unit, so
// that two lists differing in an invisible character show where.
std::string Listed(const std::vector<std::u16string>& actions) {
  std::string text;
  for (const std::u16string& action : actions) {
    text += '[';
    for (const char16_t unit : action) {
      if (unit >= 0x20 && unit < 0x7f) {
        text += static_cast<char>(unit);
      } else {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
        text += escaped;
      }
    }
    text += "]\n";
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static qv::testing::TempPrefix prefix;
  // A stored text ends at its first NUL.
  std::string_view input(reinterpret_cast<const char*>(data), size);
  input = input.substr(0, input.find('\0'));
  const std::u16string portKey = std::u16string(MarrowjetUI::kMonitorKey) + u"\\" + kPort;
  const std::u16string text = qv::ToUtf16(input);
  FUZZ_CHECK(qv::fuzz::SetRegistryText(portKey, MarrowjetUI::kScriptValue, text), "");

  const std::vector<std::u16string> loaded = Loaded();
  const std::vector<std::u16string> expected = ExpectedActions(text);
  FUZZ_CHECK(loaded == expected, "loaded:\n" + Listed(loaded) + "expected:\n" + Listed(expected));

  MarrowjetUI::Script script;
  script.LoadFromRegistry(kPort);
  script.SaveToRegistry(kPort);
  std::vector<std::u16string> stored = loaded;
  for (std::u16string& action : stored) action = qv::ToUtf16(qv::ToUtf8(action));
  const std::vector<std::u16string> reloaded = Loaded();
  FUZZ_CHECK(reloaded == stored, "stored:\n" + Listed(stored) + "after storing:\n" + Listed(reloaded));
  return 0;
}
