// The one export the spooler looks for: it hands back the table of entry points.
#include "Monitor.h"
#include "win/ExceptionBarrier.h"

#include <qv/macros.h>

namespace {

MONITOREX MonitorTable;

}  // namespace

LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR pRegistryRoot) {
  using namespace Quorvane;
  win::ExceptionBarrier([&] { RegistryRoot = pRegistryRoot ? pRegistryRoot : WSTR(""); },
                        [](bool) {
                          // Out of memory: the earlier root stays. This call has no way to fail.
                        });
  MonitorTable.dwMonitorSize = sizeof(MONITOR);
  MONITOR& table = MonitorTable.Monitor;
  table.pfnEnumPorts = LocalEnumPorts;
  table.pfnOpenPort = LocalOpenPort;
  table.pfnOpenPortEx = nullptr;
  table.pfnStartDocPort = LocalStartDocPort;
  table.pfnWritePort = LocalWritePort;
  table.pfnReadPort = LocalReadPort;
  table.pfnEndDocPort = LocalEndDocPort;
  table.pfnClosePort = LocalClosePort;
  table.pfnAddPort = LocalAddPort;
  table.pfnAddPortEx = nullptr;
  table.pfnConfigurePort = LocalConfigurePort;
  table.pfnDeletePort = LocalDeletePort;
  table.pfnGetPrinterDataFromPort = nullptr;
  table.pfnSetPortTimeOuts = nullptr;
  return &MonitorTable;
}

