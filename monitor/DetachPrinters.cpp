#include "DetachPrinters.h"

#include "CodePageText.h"
#include "Monitor.h"
#include "PrinterHandle.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "win/WideString.h"

#include <qv/macros.h>

namespace Quorvane {

namespace {

constexpr WCHAR kFilePort[] = WSTR("FILE:");

// The records of one spooler enumeration, asked for its size first and then filled. The
// records' strings point into the buffer, which lives as long as the object.
template <class Record>
class Enumeration {
 public:
  // `enumerate(buffer, size, &needed, &returned)` calls the spooler.
  template <class Enumerate>
  explicit Enumeration(Enumerate&& enumerate) {
    DWORD needed = 0;
    DWORD returned = 0;
    // No printers ends here too: the size query then succeeds, or fails another way.
    if (enumerate(nullptr, 0, &needed, &returned) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) return;
    buffer_.resize(needed);
    if (!enumerate(buffer_.data(), needed, &needed, &returned)) return;
    if (static_cast<uint64_t>(returned) * sizeof(Record) > buffer_.size()) return;
    count_ = returned;
  }

  size_t Count() const { return count_; }
  Record operator[](size_t index) const {
    Record record;
    std::memcpy(&record, buffer_.data() + index * sizeof(Record), sizeof record);
    return record;
  }

 private:
  std::vector<BYTE> buffer_;
  size_t count_ = 0;
};

bool Same(LPCWSTR text, const win::WideString& other) { return text && other == text; }

void TellMove(LPCWSTR printer, LPCWSTR monitor, LPCWSTR port) {
  const std::string line = CodePageText(win::WideString(printer) + WSTR(": ") + monitor + WSTR(": ") + port) + "\n";
  std::fputs(line.c_str(), stdout);
  std::fflush(stdout);
}

}  // namespace

void DetachPrinters() {
  const Enumeration<PRINTER_INFO_2W> printers([](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
    return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer, size, needed, returned);
  });
  if (printers.Count() == 0) return;
  const Enumeration<PORT_INFO_2W> ports([](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
    return EnumPortsW(nullptr, 2, buffer, size, needed, returned);
  });
  for (size_t p = 0; p < printers.Count(); ++p) {
    const PRINTER_INFO_2W printer = printers[p];
    if (!printer.pPrinterName || !printer.pPortName) continue;
    for (size_t q = 0; q < ports.Count(); ++q) {
      const PORT_INFO_2W port = ports[q];
      if (!port.pPortName || !Same(printer.pPortName, port.pPortName) || !Same(port.pMonitorName, MonitorName))
        continue;
      TellMove(printer.pPrinterName, port.pMonitorName, port.pPortName);
      SetPrinterPort(printer.pPrinterName, kFilePort);
    }
  }
}

void SetPrinterPort(LPCWSTR printerName, LPCWSTR portName) {
  PrinterHandle printer;
  if (FAILED(printer.Open(printerName))) return;
  DWORD needed = 0;
  if (GetPrinterW(printer.Get(), 2, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) return;
  std::vector<BYTE> buffer(needed);
  if (needed < sizeof(PRINTER_INFO_2W) || !GetPrinterW(printer.Get(), 2, buffer.data(), needed, &needed)) return;
  PRINTER_INFO_2W info;
  std::memcpy(&info, buffer.data(), sizeof info);
  win::WideString port = portName;
  info.pPortName = port.data();
  SetPrinterW(printer.Get(), 2, reinterpret_cast<LPBYTE>(&info), 0);
}

}  // namespace Quorvane
