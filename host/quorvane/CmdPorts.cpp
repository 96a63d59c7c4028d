// quorvane ports: every port of the print system, as its port list shows them ("FILE:" and the
// ports of every installed monitor).
#include "Command.h"
#include "OptionParser.h"
#include "StatusText.h"

#include <qv/utf.h>

#include <windows.h>
#include <winsplp.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace qv::cli {
namespace {

const char kUsage[] = "usage: quorvane ports    list the ports: name, monitor and description";

struct PortLine {
  std::string name, monitor, description;
};

std::string Text(LPCWSTR value) { return value ? qv::ToUtf8(value) : std::string(); }

std::vector<PortLine> EnumeratePorts() {
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

int RunPorts(const std::vector<std::string>& args) {
  OptionParser(args, {}).ExpectOperands(0, 0);
  const std::vector<PortLine> ports = EnumeratePorts();
  size_t nameWidth = 4, monitorWidth = 7;
  for (const PortLine& port : ports) {
    nameWidth = std::max(nameWidth, port.name.size());
    monitorWidth = std::max(monitorWidth, port.monitor.size());
  }
  std::printf("%-*s  %-*s  %s\n", static_cast<int>(nameWidth), "NAME", static_cast<int>(monitorWidth), "MONITOR",
              "DESCRIPTION");
  for (const PortLine& port : ports)
    std::printf("%-*s  %-*s  %s\n", static_cast<int>(nameWidth), port.name.c_str(), static_cast<int>(monitorWidth),
                port.monitor.c_str(), port.description.c_str());
  return 0;
}

const CommandRegistrar kRegister({"ports", "list the ports of the print system", kUsage, &RunPorts});

}  // namespace
}  // namespace qv::cli
