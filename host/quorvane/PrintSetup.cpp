#include "PrintSetup.h"

#include "Command.h"
#include "StatusText.h"

#include <qv/print_system.h>
#include <qv/utf.h>

#include <windows.h>

#include <cstring>

namespace qv::cli {
namespace {

std::string Text(LPCWSTR value) { return value ? qv::ToUtf8(value) : std::string(); }

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::vector<std::string> PortsOf(const std::string& portList) {
  std::vector<std::string> ports;
  size_t start = 0;
  for (;;) {
    size_t comma = portList.find(',', start);
    std::string port = portList.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    port.erase(0, port.find_first_not_of(' '));
    port.erase(port.find_last_not_of(' ') + 1);
    if (!port.empty()) ports.push_back(port);
    if (comma == std::string::npos) return ports;
    start = comma + 1;
  }
}

namespace {

// A printer handle with administer access, closed when it goes.
class AdminHandle {
 public:
  explicit AdminHandle(const std::string& name) : name_(qv::ToUtf16(name)) {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(name_.data(), &handle_, &defaults)) handle_ = nullptr;
  }
  ~AdminHandle() {
    if (handle_) ClosePrinter(handle_);
  }
  AdminHandle(const AdminHandle&) = delete;
  AdminHandle& operator=(const AdminHandle&) = delete;
  HANDLE Get() const { return handle_; }

 private:
  std::u16string name_;
  HANDLE handle_ = nullptr;
};

}  // namespace

std::vector<PortLine> ListPorts() {
  std::vector<BYTE> buffer;
  DWORD needed = 0;
  DWORD returned = 0;
  // A port added between the size query and the listing makes the list grow: ask again.
  for (int attempt = 0;; ++attempt) {
    if (EnumPortsW(nullptr, 2, buffer.empty() ? nullptr : buffer.data(), static_cast<DWORD>(buffer.size()), &needed,
                   &returned))
      break;
    const DWORD status = GetLastError();
    if (status != ERROR_INSUFFICIENT_BUFFER || attempt == 3) FailWithStatus("the ports", status);
    buffer.assign(needed, 0);
  }
  std::vector<PortLine> ports;
  for (DWORD i = 0; i < returned; ++i) {
    PORT_INFO_2W info;
    std::memcpy(&info, buffer.data() + i * sizeof info, sizeof info);
    ports.push_back({Text(info.pPortName), Text(info.pMonitorName), Text(info.pDescription)});
  }
  return ports;
}

bool HasPort(const std::vector<PortLine>& ports, const std::string& port) {
  for (const PortLine& line : ports)
    if (SameName(line.name, port)) return true;
  return false;
}

std::string PortNames(const std::vector<PortLine>& ports) {
  std::string names;
  for (size_t i = 0; i < ports.size(); ++i) {
    if (i > 0) names += i + 1 == ports.size() ? " and " : ", ";
    names += "\"" + ports[i].name + "\"";
  }
  return names.empty() ? "none" : names;
}

std::vector<std::string> PrintersOnPort(const std::string& port) {
  std::vector<PrinterEntry> printers;
  if (DWORD status = ListPrinters(printers)) FailWithStatus("the printers", status);
  std::vector<std::string> names;
  for (const PrinterEntry& printer : printers)
    for (const std::string& used : PortsOf(printer.port))
      if (SameName(used, port)) {
        names.push_back(printer.name);
        break;
      }
  return names;
}

DWORD MovePrinter(const std::string& name, const std::string& port) {
  AdminHandle printer(name);
  if (!printer.Get()) return GetLastError();
  DWORD needed = 0;
  if (GetPrinterW(printer.Get(), 2, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return GetLastError() ? GetLastError() : static_cast<DWORD>(ERROR_GEN_FAILURE);
  std::vector<BYTE> buffer(needed);
  if (needed < sizeof(PRINTER_INFO_2W) || !GetPrinterW(printer.Get(), 2, buffer.data(), needed, &needed))
    return GetLastError();
  PRINTER_INFO_2W info;
  std::memcpy(&info, buffer.data(), sizeof info);
  std::u16string wide = qv::ToUtf16(port);
  info.pPortName = wide.data();
  std::memcpy(buffer.data(), &info, sizeof info);
  if (!SetPrinterW(printer.Get(), 2, buffer.data(), 0)) return GetLastError();
  return ERROR_SUCCESS;
}

}  // namespace qv::cli
