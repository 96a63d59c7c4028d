// The embedded print system's printers: one key per printer under
// HKLM\SYSTEM\CurrentControlSet\Control\Print\Printers, with Windows' value names.
#pragma once
#include <windef.h>
#include <winspool.h>

#include <string>
#include <vector>

namespace qv::spool {

inline constexpr const char* kPrintKey = "SYSTEM\\CurrentControlSet\\Control\\Print";
inline constexpr const char* kPrintersKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
inline constexpr const char* kMonitorsKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
inline constexpr const char* kFilePort = "FILE:";

// A printer's settings, the level-2 printer information that is kept.
struct PrinterRecord {
  std::string name;
  std::string shareName;
  std::string port;  // one port, or a comma-separated list for a pooled printer
  std::string driver;
  std::string comment;
  std::string location;
  std::string separatorFile;
  std::string printProcessor = "winprint";
  std::string datatype = "RAW";
  std::string parameters;
  DWORD attributes = PRINTER_ATTRIBUTE_LOCAL;
  DWORD priority = 1;
  DWORD defaultPriority = 0;
  DWORD startTime = 0;
  DWORD untilTime = 0;
  DWORD status = 0;
};

// Printer names also name folders (spool/printed/<printer>/) and registry keys: no separators,
// no "." or "..", no control characters, at most 220 characters, as on Windows.
bool IsValidPrinterName(const std::string& name);

// The first port of the printer's port list: the one its jobs are sent through.
std::string PrimaryPort(const std::string& portList);
// Whether `port` is one of the ports of `portList`, compared without case.
bool PortListHas(const std::string& portList, const std::string& port);

// ERROR_INVALID_PRINTER_NAME when there is no such printer. `record.name` gets the name as the
// printer was created (the lookup ignores case).
DWORD ReadPrinter(const std::string& name, PrinterRecord& record);
// The same lookup for a caller that needs only the name as created: two registry calls, not
// one per setting.
DWORD FindPrinter(const std::string& name, std::string& createdName);
// Creates the printer; ERROR_PRINTER_ALREADY_EXISTS when a printer of that name exists.
DWORD CreatePrinter(const PrinterRecord& record);
// Rewrites the settings of an existing printer (the name stays).
DWORD UpdatePrinter(const PrinterRecord& record);
DWORD RemovePrinter(const std::string& name);
DWORD PrinterNames(std::vector<std::string>& names);

bool EqualNoCase(const std::string& a, const std::string& b);

}  // namespace qv::spool
