// Which print system the command acts on: the one the prefix recorded at install
// (HKLM\SOFTWARE\Quorvane, value "PrintSystem": "embedded" or "cups"), unless --print-system
// names another for this one command.
#pragma once
#include <string>

namespace qv::cli {

enum class PrintSystemKind { kEmbedded, kCups };

// --print-system: "embedded" or "cups"; anything else is a usage error.
void OverridePrintSystem(const std::string& name);
// The print system in use, chosen on first call; CUPS is made to answer the spooler API.
PrintSystemKind UsePrintSystem();
// Makes `kind` the print system of this process from now on (install --cups).
void SwitchPrintSystem(PrintSystemKind kind);
// Records `kind` as the prefix's print system; an empty record is removed (uninstall).
void RecordPrintSystem(PrintSystemKind kind);
void ForgetPrintSystem();

const char* PrintSystemName(PrintSystemKind kind);
inline bool UsingCups() { return UsePrintSystem() == PrintSystemKind::kCups; }

}  // namespace qv::cli
