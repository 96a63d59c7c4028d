#include "PrinterStore.h"

#include "RegistryKey.h"

#include <winerror.h>

#include <algorithm>
#include <cctype>

namespace qv::spool {
namespace {

std::string PrinterKeyPath(const std::string& name) { return std::string(kPrintersKey) + "\\" + name; }

void WriteSettings(const RegistryKey& key, const PrinterRecord& record, DWORD& status) {
  auto text = [&](const char* name, const std::string& value) {
    if (status == ERROR_SUCCESS) status = key.WriteString(name, value);
  };
  auto number = [&](const char* name, DWORD value) {
    if (status == ERROR_SUCCESS) status = key.WriteDword(name, value);
  };
  text("Name", record.name);
  text("Share Name", record.shareName);
  text("Port", record.port);
  text("Printer Driver", record.driver);
  text("Description", record.comment);
  text("Location", record.location);
  text("Separator File", record.separatorFile);
  text("Print Processor", record.printProcessor);
  text("Datatype", record.datatype);
  text("Parameters", record.parameters);
  number("Attributes", record.attributes);
  number("Priority", record.priority);
  number("Default Priority", record.defaultPriority);
  number("StartTime", record.startTime);
  number("UntilTime", record.untilTime);
  number("Status", record.status);
}

std::string Trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return {};
  size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

}  // namespace

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

bool IsValidPrinterName(const std::string& name) {
  if (name.empty() || name.size() > 220 || name == "." || name == "..") return false;
  return std::none_of(name.begin(), name.end(), [](unsigned char c) {
    return c < 0x20 || c == 0x7f || c == '\\' || c == '/' || c == ',';
  });
}

std::string PrimaryPort(const std::string& portList) {
  return Trim(portList.substr(0, portList.find(',')));
}

bool PortListHas(const std::string& portList, const std::string& port) {
  size_t start = 0;
  while (start <= portList.size()) {
    size_t comma = portList.find(',', start);
    if (comma == std::string::npos) comma = portList.size();
    if (EqualNoCase(Trim(portList.substr(start, comma - start)), port)) return true;
    start = comma + 1;
  }
  return false;
}

namespace {

// Opens the printer's key and reads the name as the printer was created.
DWORD OpenPrinterKey(const std::string& name, RegistryKey& key, std::string& createdName) {
  if (!IsValidPrinterName(name)) return ERROR_INVALID_PRINTER_NAME;
  // All its values in one read: a printer is one logical read, not one per setting.
  if (key.Load(PrinterKeyPath(name)) != ERROR_SUCCESS) return ERROR_INVALID_PRINTER_NAME;
  createdName = key.StringOr("Name", name);
  if (!EqualNoCase(createdName, name)) createdName = name;
  return ERROR_SUCCESS;
}

}  // namespace

DWORD FindPrinter(const std::string& name, std::string& createdName) {
  RegistryKey key;
  return OpenPrinterKey(name, key, createdName);
}

DWORD ReadPrinter(const std::string& name, PrinterRecord& record) {
  RegistryKey key;
  if (DWORD status = OpenPrinterKey(name, key, record.name)) return status;
  PrinterRecord defaults;
  record.shareName = key.StringOr("Share Name", "");
  record.port = key.StringOr("Port", "");
  record.driver = key.StringOr("Printer Driver", "");
  record.comment = key.StringOr("Description", "");
  record.location = key.StringOr("Location", "");
  record.separatorFile = key.StringOr("Separator File", "");
  record.printProcessor = key.StringOr("Print Processor", defaults.printProcessor);
  record.datatype = key.StringOr("Datatype", defaults.datatype);
  record.parameters = key.StringOr("Parameters", "");
  record.attributes = key.DwordOr("Attributes", defaults.attributes);
  record.priority = key.DwordOr("Priority", defaults.priority);
  record.defaultPriority = key.DwordOr("Default Priority", defaults.defaultPriority);
  record.startTime = key.DwordOr("StartTime", 0);
  record.untilTime = key.DwordOr("UntilTime", 0);
  record.status = key.DwordOr("Status", 0);
  return ERROR_SUCCESS;
}

DWORD CreatePrinter(const PrinterRecord& record) {
  if (!IsValidPrinterName(record.name)) return ERROR_INVALID_PRINTER_NAME;
  RegistryKey key;
  bool created = false;
  if (DWORD status = key.Create(PrinterKeyPath(record.name), &created); status != ERROR_SUCCESS)
    return status;
  if (!created) return ERROR_PRINTER_ALREADY_EXISTS;
  DWORD status = ERROR_SUCCESS;
  WriteSettings(key, record, status);
  if (status != ERROR_SUCCESS) {
    key.Close();
    RemovePrinter(record.name);  // no printer with half its settings
  }
  return status;
}

DWORD UpdatePrinter(const PrinterRecord& record) {
  RegistryKey key;
  if (!IsValidPrinterName(record.name) || key.Open(PrinterKeyPath(record.name)) != ERROR_SUCCESS)
    return ERROR_INVALID_PRINTER_NAME;
  DWORD status = ERROR_SUCCESS;
  WriteSettings(key, record, status);
  return status;
}

DWORD RemovePrinter(const std::string& name) {
  if (!IsValidPrinterName(name)) return ERROR_INVALID_PRINTER_NAME;
  RegistryKey printers;
  if (printers.Open(kPrintersKey) != ERROR_SUCCESS) return ERROR_INVALID_PRINTER_NAME;
  DWORD status = printers.DeleteSubKey(name);
  return status == ERROR_FILE_NOT_FOUND ? ERROR_INVALID_PRINTER_NAME : status;
}

DWORD PrinterNames(std::vector<std::string>& names) {
  names.clear();
  std::vector<std::string> keys;
  DWORD status = static_cast<DWORD>(ReadRegistrySubKeys(kPrintersKey, keys));
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS) return status;
  for (const std::string& name : keys)
    if (IsValidPrinterName(name)) names.push_back(name);
  return ERROR_SUCCESS;
}

}  // namespace qv::spool
