#include "MonitorUsers.h"

#include <qv/utf.h>
#include <windows.h>

#include <cstring>

namespace qv::cli {
namespace {

// The level-2 records of one spooler enumeration, copied out of its buffer.
template <class Record, class Enumerate>
std::vector<Record> Enumerate2(std::vector<BYTE>& buffer, Enumerate&& enumerate) {
  DWORD needed = 0, returned = 0;
  if (enumerate(nullptr, 0, &needed, &returned) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
  buffer.resize(needed);
  if (!enumerate(buffer.data(), needed, &needed, &returned)) return {};
  std::vector<Record> records(returned);
  if (static_cast<size_t>(returned) * sizeof(Record) > buffer.size()) return {};
  if (returned) std::memcpy(records.data(), buffer.data(), returned * sizeof(Record));
  return records;
}

std::u16string Text(LPCWSTR text) { return text ? std::u16string(text) : std::u16string(); }

// As the print system compares port names: ASCII letters without regard to case.
bool SameIgnoringCase(const std::u16string& a, const std::u16string& b) {
  auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; };
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

std::u16string Trimmed(std::u16string text) {
  while (!text.empty() && text.back() == u' ') text.pop_back();
  size_t start = 0;
  while (start < text.size() && text[start] == u' ') ++start;
  return text.substr(start);
}

// A printer's port names: one, or several separated by commas (printer pooling).
std::vector<std::u16string> PortList(const std::u16string& ports) {
  std::vector<std::u16string> names;
  for (size_t start = 0; start <= ports.size();) {
    size_t comma = ports.find(u',', start);
    if (comma == std::u16string::npos) comma = ports.size();
    names.push_back(Trimmed(ports.substr(start, comma - start)));
    start = comma + 1;
  }
  return names;
}

// Appended piece by piece: g++ 12 at -O3 gives a false -Wrestrict for "\"" + std::string.
std::string Quoted(const std::u16string& text) {
  std::string quoted = "\"";
  quoted += qv::ToUtf8(text);
  quoted += '"';
  return quoted;
}

}  // namespace

std::vector<std::string> PrintersKeepingMonitor(const std::u16string& monitor) {
  std::vector<BYTE> printerBuffer, portBuffer;
  const auto printers = Enumerate2<PRINTER_INFO_2W>(printerBuffer, [](LPBYTE b, DWORD s, LPDWORD n, LPDWORD r) {
    return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, b, s, n, r);
  });
  const auto ports = Enumerate2<PORT_INFO_2W>(portBuffer, [](LPBYTE b, DWORD s, LPDWORD n, LPDWORD r) {
    return EnumPortsW(nullptr, 2, b, s, n, r);
  });
  std::vector<std::string> reasons;
  for (const PRINTER_INFO_2W& printer : printers) {
    const std::u16string portText = Text(printer.pPortName);
    const std::vector<std::u16string> list = PortList(portText);
    for (const PORT_INFO_2W& port : ports) {
      const std::u16string name = Text(port.pPortName);
      if (Text(port.pMonitorName) != monitor) continue;
      bool found = false;
      for (const std::u16string& used : list) found = found || SameIgnoringCase(used, name);
      if (!found) continue;
      const std::string who = "the printer " + Quoted(Text(printer.pPrinterName));
      if (list.size() > 1)
        reasons.push_back(who + " uses the port " + Quoted(name) + " together with other ports (" + Quoted(portText) +
                          "), so it was not moved to \"FILE:\"");
      else if (portText != name)
        reasons.push_back(who + " is on the port " + Quoted(portText) + ", which differs from the port " + Quoted(name) +
                          " only in letter case: the print system counts it as that port, the move to \"FILE:\" "
                          "takes only the exact name");
      else
        reasons.push_back(who + " is still on the port " + Quoted(name) + ": it could not be moved to \"FILE:\"");
      break;
    }
  }
  return reasons;
}

}  // namespace qv::cli
