// The embedded print system's port monitors. A monitor is installed when its key
// HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors\<name> holds the value "Driver", the
// Windows file name of its library ("QVPM.DLL"). The library is opened from the platform's
// library folder under its host name ("libqvpm.so", the platform's one rule for Windows library
// names), InitializePrintMonitor is called with the monitor's key path, and the monitor stays
// loaded for the life of the process: the monitor's own state (its port and job tables) lives
// as long as on Windows, where the spooler loads a monitor once.
#pragma once
#include <windef.h>
#include <winspool.h>
#include <winsplp.h>

#include <string>
#include <vector>

namespace qv::spool {

struct LoadedMonitor {
  std::string name;
  MONITOR table{};  // the slots the monitor filled; slots beyond its dwMonitorSize stay null
};

// A port as a monitor reports it.
struct PortRecord {
  std::string name;
  std::string monitor;
  std::string description;
  DWORD type = PORT_TYPE_WRITE;
};

// What a failure to reach a monitor was about, for the job's error and the command's message.
struct MonitorProblem {
  DWORD status = ERROR_SUCCESS;
  std::string detail;
};

// "SYSTEM\CurrentControlSet\Control\Print\Monitors\<name>": the key path passed to the monitor.
std::string MonitorKeyPath(const std::string& name);

// Installed monitors, in the registry's order.
std::vector<std::string> InstalledMonitors();

// Records the monitor and loads it. ERROR_PRINT_MONITOR_ALREADY_INSTALLED when it is installed;
// a library that can't be loaded is not recorded (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND,
// ERROR_INVALID_PRINT_MONITOR).
DWORD InstallMonitor(const std::string& name, const std::string& driver, MonitorProblem& problem);
// Unregisters the monitor: its "Driver" value goes, its key with its ports and their scripts
// stays, so an uninstall followed by an install loses nothing. ERROR_UNKNOWN_PRINT_MONITOR when
// it isn't installed, ERROR_PRINT_MONITOR_IN_USE while a printer uses one of its ports.
DWORD UninstallMonitor(const std::string& name);

// The loaded monitor of that name, loading it on first use; null when it can't be, with why.
const LoadedMonitor* UseMonitor(const std::string& name, MonitorProblem& problem);

// The ports a monitor reports through its EnumPorts, at level 1 or 2.
DWORD MonitorPorts(const LoadedMonitor& monitor, DWORD level, std::vector<PortRecord>& ports);

// The monitor that owns `port`: the one whose EnumPorts lists it. While a monitor's EnumPorts
// reports nothing of a port, a port that is a subkey of the monitor's key counts as its port too
// (that is where ports and their scripts are kept). Null when no monitor owns the port
// (ERROR_UNKNOWN_PORT) or the owner can't be loaded.
const LoadedMonitor* PortOwner(const std::string& port, MonitorProblem& problem);

}  // namespace qv::spool
