// quorvane ports: every port of the print system, as its port list shows them ("FILE:" and the
// ports of every installed monitor).
#include "Command.h"
#include "OptionParser.h"
#include "PrintSetup.h"
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

int RunPorts(const std::vector<std::string>& args) {
  OptionParser(args, {}).ExpectOperands(0, 0);
  RequireInstallation();
  const std::vector<PortLine> ports = ListPorts();
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
