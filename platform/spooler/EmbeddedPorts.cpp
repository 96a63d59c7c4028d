// Monitors and ports of the embedded print system through the spooler API. "FILE:" is always a
// port; every installed monitor adds the ports its EnumPorts reports.
#include "EmbeddedPrintSystem.h"
#include "Monitors.h"
#include "PackedBuffer.h"
#include "PrinterStore.h"
#include "Status.h"

#include <qv/utf.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace qv::spool {
namespace {

// The environments a monitor may be recorded for; a monitor's own environment is not checked
// further, since every library here is built for this machine.
bool IsKnownEnvironment(LPCWSTR environment) {
  if (!environment || !*environment) return true;
  std::string name = ToUtf8(environment);
  return EqualNoCase(name, "Windows NT x86") || EqualNoCase(name, "Windows x64");
}

std::vector<PortRecord> AllPorts(DWORD level) {
  std::vector<PortRecord> ports{{kFilePort, "Local Port", "Local Port", PORT_TYPE_WRITE}};
  for (const std::string& name : InstalledMonitors()) {
    MonitorProblem problem;
    const LoadedMonitor* monitor = UseMonitor(name, problem);
    if (!monitor) continue;  // a monitor that can't be loaded offers no ports
    std::vector<PortRecord> reported;
    if (MonitorPorts(*monitor, level, reported) != ERROR_SUCCESS) continue;
    for (PortRecord& port : reported) {
      bool known = std::any_of(ports.begin(), ports.end(), [&](const PortRecord& other) {
        return EqualNoCase(other.name, port.name);
      });
      if (!known) ports.push_back(std::move(port));
    }
  }
  return ports;
}

struct WidePort {
  std::u16string name, monitor, description;
  DWORD type;
};

BOOL PackPorts(const std::vector<PortRecord>& ports, DWORD level, LPBYTE buffer, DWORD cbBuf,
               LPDWORD needed, LPDWORD returned) {
  std::vector<WidePort> wide;
  size_t recordSize = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
  size_t size = 0;
  for (const PortRecord& port : ports) {
    wide.push_back({ToUtf16(port.name), ToUtf16(port.monitor), ToUtf16(port.description), port.type});
    size += recordSize + PackedSize(wide.back().name);
    if (level == 2) size += PackedSize(wide.back().monitor) + PackedSize(wide.back().description);
  }
  if (size > 0xFFFFFFFFu) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  *needed = static_cast<DWORD>(size);
  if (size > cbBuf || !buffer) return Fail(ERROR_INSUFFICIENT_BUFFER);
  PackedBuffer packed(buffer, wide.size() * recordSize);
  for (size_t i = 0; i < wide.size(); ++i) {
    if (level == 1) {
      packed.PutRecord(i, PORT_INFO_1W{packed.Put(wide[i].name)});
    } else {
      PORT_INFO_2W info{};
      info.pPortName = packed.Put(wide[i].name);
      info.pMonitorName = packed.Put(wide[i].monitor);
      info.pDescription = packed.Put(wide[i].description);
      info.fPortType = wide[i].type;
      info.Reserved = 0;
      packed.PutRecord(i, info);
    }
  }
  *returned = static_cast<DWORD>(wide.size());
  return TRUE;
}

// The monitor a port request goes to; "FILE:" belongs to no monitor and can't be managed.
const LoadedMonitor* ManagingMonitor(LPWSTR portName, DWORD& status) {
  if (!portName || !*portName) {
    status = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  std::string port = ToUtf8(portName);
  if (EqualNoCase(port, kFilePort)) {
    status = ERROR_NOT_SUPPORTED;
    return nullptr;
  }
  MonitorProblem problem;
  const LoadedMonitor* monitor = PortOwner(port, problem);
  status = problem.status;
  return monitor;
}

}  // namespace

BOOL EmbeddedPrintSystem::EnumPortsW(LPWSTR name, DWORD level, LPBYTE ports, DWORD cbBuf,
                                     LPDWORD needed, LPDWORD returned) {
  if (!needed || !returned) return Fail(ERROR_INVALID_PARAMETER);
  *returned = 0;
  if (!IsLocalServer(name)) return Fail(ERROR_INVALID_NAME);
  if (level != 1 && level != 2) return Fail(ERROR_INVALID_LEVEL);
  return PackPorts(AllPorts(level), level, ports, cbBuf, needed, returned);
}

BOOL EmbeddedPrintSystem::AddMonitorW(LPWSTR name, DWORD level, LPBYTE monitor) {
  if (!IsLocalServer(name)) return Fail(ERROR_INVALID_NAME);
  if (level != 2) return Fail(ERROR_INVALID_LEVEL);
  if (!monitor) return Fail(ERROR_INVALID_PARAMETER);
  MONITOR_INFO_2W info;
  std::memcpy(&info, monitor, sizeof info);
  if (!info.pName || !*info.pName || !info.pDLLName || !*info.pDLLName)
    return Fail(ERROR_INVALID_PARAMETER);
  if (!IsKnownEnvironment(info.pEnvironment)) return Fail(ERROR_INVALID_ENVIRONMENT);
  MonitorProblem problem;
  DWORD status = InstallMonitor(ToUtf8(info.pName), ToUtf8(info.pDLLName), problem);
  return status == ERROR_SUCCESS ? TRUE : Fail(status);
}

BOOL EmbeddedPrintSystem::DeleteMonitorW(LPWSTR name, LPWSTR environment, LPWSTR monitorName) {
  if (!IsLocalServer(name)) return Fail(ERROR_INVALID_NAME);
  if (!IsKnownEnvironment(environment)) return Fail(ERROR_INVALID_ENVIRONMENT);
  if (!monitorName || !*monitorName) return Fail(ERROR_INVALID_PARAMETER);
  DWORD status = UninstallMonitor(ToUtf8(monitorName));
  return status == ERROR_SUCCESS ? TRUE : Fail(status);
}

BOOL EmbeddedPrintSystem::AddPortW(LPWSTR name, HWND window, LPWSTR monitorName) {
  if (!IsLocalServer(name)) return Fail(ERROR_INVALID_NAME);
  if (!monitorName || !*monitorName) return Fail(ERROR_INVALID_PARAMETER);
  MonitorProblem problem;
  const LoadedMonitor* monitor = UseMonitor(ToUtf8(monitorName), problem);
  if (!monitor) return Fail(problem.status);
  if (!monitor->table.pfnAddPort) return Fail(ERROR_NOT_SUPPORTED);
  SetLastError(ERROR_SUCCESS);
  return monitor->table.pfnAddPort(nullptr, window, monitorName);
}

namespace {

// ConfigurePort and DeletePort go to the monitor that reports the port, through one slot of
// its table.
using PortRequest = BOOL(WINAPI* MONITOR::*)(LPWSTR, HWND, LPWSTR);

BOOL ForwardPortRequest(LPWSTR name, HWND window, LPWSTR portName, PortRequest slot) {
  if (!IsLocalServer(name)) return Fail(ERROR_INVALID_NAME);
  DWORD status = ERROR_SUCCESS;
  const LoadedMonitor* monitor = ManagingMonitor(portName, status);
  if (!monitor) return Fail(status);
  if (!(monitor->table.*slot)) return Fail(ERROR_NOT_SUPPORTED);
  SetLastError(ERROR_SUCCESS);
  return (monitor->table.*slot)(nullptr, window, portName);
}

}  // namespace

BOOL EmbeddedPrintSystem::ConfigurePortW(LPWSTR name, HWND window, LPWSTR portName) {
  return ForwardPortRequest(name, window, portName, &MONITOR::pfnConfigurePort);
}

BOOL EmbeddedPrintSystem::DeletePortW(LPWSTR name, HWND window, LPWSTR portName) {
  return ForwardPortRequest(name, window, portName, &MONITOR::pfnDeletePort);
}

}  // namespace qv::spool
