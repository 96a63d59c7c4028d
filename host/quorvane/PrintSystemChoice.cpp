#include "PrintSystemChoice.h"
#include "Command.h"
#include "CupsLibrary.h"
#include "RegistryKey.h"
#include "StatusText.h"

#include <qv/prefix.h>
#include <qv/print_system.h>

#include <filesystem>

#include <optional>

namespace qv::cli {
namespace {

const char16_t kKey[] = u"SOFTWARE\\Quorvane";
const char16_t kValue[] = u"PrintSystem";

std::optional<PrintSystemKind> overridden;
std::optional<PrintSystemKind> chosen;

std::optional<PrintSystemKind> Parse(const std::string& name) {
  if (name == "embedded") return PrintSystemKind::kEmbedded;
  if (name == "cups") return PrintSystemKind::kCups;
  return std::nullopt;
}

PrintSystemKind Recorded() {
  // A prefix without a registry has recorded nothing; reading would make one.
  if (!std::filesystem::exists(qv::ChosenPrefixDir() + "/registry.db")) return PrintSystemKind::kEmbedded;
  RegistryKey key;
  RegistryValue value;
  if (key.Open(HKEY_LOCAL_MACHINE, kKey) != ERROR_SUCCESS || key.Query(kValue, value) != ERROR_SUCCESS)
    return PrintSystemKind::kEmbedded;
  std::u16string text(reinterpret_cast<const char16_t*>(value.data.data()), value.data.size() / 2);
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text == u"cups" ? PrintSystemKind::kCups : PrintSystemKind::kEmbedded;
}

void Activate(PrintSystemKind kind) {
  static PrintSystem* cupsSystem = nullptr;
  if (kind == PrintSystemKind::kCups) {
    // Loads the CUPS side now, the first time it is needed; lives as long as the process.
    if (!cupsSystem) cupsSystem = Cups().newPrintSystem().release();
    SetPrintSystem(cupsSystem);
  } else {
    SetPrintSystem(nullptr);
  }
  chosen = kind;
}

}  // namespace

void OverridePrintSystem(const std::string& name) {
  std::optional<PrintSystemKind> kind = Parse(name);
  if (!kind) throw UsageError("--print-system takes \"embedded\" or \"cups\", not \"" + name + "\"");
  overridden = kind;
}

PrintSystemKind UsePrintSystem() {
  if (!chosen) Activate(overridden ? *overridden : Recorded());
  return *chosen;
}

void SwitchPrintSystem(PrintSystemKind kind) { Activate(kind); }

const char* PrintSystemName(PrintSystemKind kind) { return kind == PrintSystemKind::kCups ? "cups" : "embedded"; }

void RecordPrintSystem(PrintSystemKind kind) {
  RegistryKey key;
  if (LSTATUS status = key.Create(HKEY_LOCAL_MACHINE, kKey); status != ERROR_SUCCESS)
    FailWithStatus("HKLM\\SOFTWARE\\Quorvane", static_cast<DWORD>(status));
  std::u16string text = kind == PrintSystemKind::kCups ? u"cups" : u"embedded";
  RegistryValue value{kValue, REG_SZ,
                      std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(char16_t))};
  if (LSTATUS status = key.Set(value); status != ERROR_SUCCESS)
    FailWithStatus("HKLM\\SOFTWARE\\Quorvane \"PrintSystem\"", static_cast<DWORD>(status));
}

void ForgetPrintSystem() {
  RegistryKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kKey) == ERROR_SUCCESS) key.Delete(kValue);
}

}  // namespace qv::cli
