#include "Monitors.h"

#include "../com/LibraryLoader.h"
#include "PrinterStore.h"
#include "RegistryKey.h"
#include "Status.h"

#include <qv/prefix.h>
#include <qv/utf.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace qv::spool {
namespace {

struct MonitorSlot {
  std::string driver;
  std::unique_ptr<LoadedMonitor> monitor;
  std::vector<std::unique_ptr<LoadedMonitor>> replaced;  // still referenced by earlier callers
};

// Loaded monitors by lower-case name. Entries are never destroyed: a monitor's table and code
// stay valid for the process, even after it has been uninstalled.
std::recursive_mutex& LoadMutex() {
  static auto* mutex = new std::recursive_mutex;
  return *mutex;
}
std::map<std::string, MonitorSlot>& Loaded() {
  static auto* loaded = new std::map<std::string, MonitorSlot>;
  return *loaded;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool IsBareFileName(const std::string& name) {
  return !name.empty() && name.find('/') == std::string::npos &&
         name.find('\\') == std::string::npos;
}

bool IsValidMonitorName(const std::string& name) {
  return !name.empty() && name.find('\\') == std::string::npos;
}

// Opens the library and runs its InitializePrintMonitor with the monitor's key path.
std::unique_ptr<LoadedMonitor> LoadLibrary(const std::string& name, const std::string& driver,
                                           MonitorProblem& problem) {
  std::string what = "the library \"" + driver + "\" of the monitor \"" + name + "\"";
  if (!IsBareFileName(driver)) {
    problem = {ERROR_MOD_NOT_FOUND, what + " is not a file name"};
    return nullptr;
  }
  com::OpenedLibrary library = com::OpenLibrary(driver, RTLD_NOW | RTLD_LOCAL);
  if (!library.handle) {
    if (library.missing) {
      problem = {ERROR_MOD_NOT_FOUND, what + " is not in " + LibraryDir()};
    } else {
      const char* reason = dlerror();
      problem = {ERROR_MOD_NOT_FOUND, what + " can't be loaded: " + (reason ? reason : "unknown reason")};
    }
    return nullptr;
  }
  auto initialize = reinterpret_cast<PFN_InitializePrintMonitor>(
      com::LibrarySymbol(library.handle, "InitializePrintMonitor"));
  if (!initialize) {
    problem = {ERROR_PROC_NOT_FOUND, what + " has no InitializePrintMonitor"};
    return nullptr;
  }
  std::u16string root = ToUtf16(MonitorKeyPath(name));
  LPMONITOREX table = initialize(root.data());
  if (!table) {
    problem = {ERROR_INVALID_PRINT_MONITOR, what + " gave no table of entry points"};
    return nullptr;
  }
  auto monitor = std::make_unique<LoadedMonitor>();
  monitor->name = name;
  // A monitor built for a smaller table fills only the slots it knows.
  size_t size = std::min<size_t>(table->dwMonitorSize, sizeof(MONITOR));
  std::memcpy(&monitor->table, &table->Monitor, size);
  return monitor;
}

bool ReadDriver(const std::string& name, std::string& driver) {
  RegistryKey key;
  return IsValidMonitorName(name) && key.Load(MonitorKeyPath(name)) == ERROR_SUCCESS &&
         key.ReadString("Driver", driver) == ERROR_SUCCESS && !driver.empty();
}

const LoadedMonitor* Remember(const std::string& name, const std::string& driver,
                              std::unique_ptr<LoadedMonitor> monitor) {
  MonitorSlot& slot = Loaded()[Lower(name)];
  if (slot.monitor) slot.replaced.push_back(std::move(slot.monitor));
  slot.driver = driver;
  slot.monitor = std::move(monitor);
  return slot.monitor.get();
}

bool HasPort(const std::vector<PortRecord>& ports, const std::string& port) {
  return std::any_of(ports.begin(), ports.end(),
                     [&](const PortRecord& record) { return EqualNoCase(record.name, port); });
}

// All ports of an installed monitor: what its EnumPorts reports and the port keys below its key.
std::vector<std::string> AllPortsOf(const std::string& name) {
  std::vector<std::string> names;
  MonitorProblem ignored;
  if (const LoadedMonitor* monitor = UseMonitor(name, ignored)) {
    std::vector<PortRecord> ports;
    if (MonitorPorts(*monitor, 1, ports) == ERROR_SUCCESS)
      for (const PortRecord& port : ports) names.push_back(port.name);
  }
  RegistryKey key;
  if (key.Open(MonitorKeyPath(name)) == ERROR_SUCCESS)
    for (const std::string& sub : key.SubKeys()) names.push_back(sub);
  return names;
}

}  // namespace

std::string MonitorKeyPath(const std::string& name) { return std::string(kMonitorsKey) + "\\" + name; }

std::vector<std::string> InstalledMonitors() {
  std::vector<std::string> names;
  std::vector<std::string> keys;
  if (ReadRegistrySubKeys(kMonitorsKey, keys) != ERROR_SUCCESS) return names;
  for (const std::string& name : keys) {
    std::string driver;
    if (ReadDriver(name, driver)) names.push_back(name);
  }
  return names;
}

DWORD InstallMonitor(const std::string& name, const std::string& driver, MonitorProblem& problem) {
  if (!IsValidMonitorName(name) || !IsBareFileName(driver)) return ERROR_INVALID_PARAMETER;
  std::lock_guard lock(LoadMutex());
  std::string installed;
  if (ReadDriver(name, installed)) return ERROR_PRINT_MONITOR_ALREADY_INSTALLED;
  std::unique_ptr<LoadedMonitor> monitor = LoadLibrary(name, driver, problem);
  if (!monitor) return problem.status;
  RegistryKey key;
  DWORD status = key.Create(MonitorKeyPath(name));
  if (status == ERROR_SUCCESS) status = key.WriteString("Driver", driver);
  if (status != ERROR_SUCCESS) return status;
  Remember(name, driver, std::move(monitor));
  return ERROR_SUCCESS;
}

DWORD UninstallMonitor(const std::string& name) {
  std::string driver;
  if (!ReadDriver(name, driver)) return ERROR_UNKNOWN_PRINT_MONITOR;
  std::vector<std::string> ports = AllPortsOf(name);
  std::vector<std::string> printers;
  PrinterNames(printers);
  for (const std::string& printer : printers) {
    PrinterRecord record;
    if (ReadPrinter(printer, record) != ERROR_SUCCESS) continue;
    for (const std::string& port : ports)
      if (PortListHas(record.port, port)) return ERROR_PRINT_MONITOR_IN_USE;
  }
  RegistryKey key;
  if (DWORD status = key.Open(MonitorKeyPath(name)); status != ERROR_SUCCESS) return status;
  return key.DeleteValue("Driver");
}

const LoadedMonitor* UseMonitor(const std::string& name, MonitorProblem& problem) {
  std::string driver;
  if (!ReadDriver(name, driver)) {
    problem = {ERROR_UNKNOWN_PRINT_MONITOR, "the monitor \"" + name + "\" is not installed"};
    return nullptr;
  }
  std::lock_guard lock(LoadMutex());
  auto found = Loaded().find(Lower(name));
  if (found != Loaded().end() && found->second.monitor && EqualNoCase(found->second.driver, driver))
    return found->second.monitor.get();
  std::unique_ptr<LoadedMonitor> monitor = LoadLibrary(name, driver, problem);
  if (!monitor) return nullptr;
  return Remember(name, driver, std::move(monitor));
}

DWORD MonitorPorts(const LoadedMonitor& monitor, DWORD level, std::vector<PortRecord>& ports) {
  ports.clear();
  if (!monitor.table.pfnEnumPorts) return ERROR_SUCCESS;
  // Room for a few dozen ports at once, so that the usual list needs no size query first.
  std::vector<BYTE> buffer(4096);
  DWORD needed = 0;
  DWORD returned = 0;
  // The list may grow between the size query and the fill: ask again a few times.
  for (int attempt = 0; attempt < 4; ++attempt) {
    BOOL ok = monitor.table.pfnEnumPorts(nullptr, level, buffer.empty() ? nullptr : buffer.data(),
                                         static_cast<DWORD>(buffer.size()), &needed, &returned);
    if (ok) break;
    DWORD error = GetLastErrorOrFailure();
    if (error != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) return error;
    buffer.assign(needed, 0);
    returned = 0;
  }
  if (returned && buffer.empty()) return ERROR_INVALID_DATA;
  for (DWORD i = 0; i < returned; ++i) {
    PortRecord record;
    if (level == 1) {
      PORT_INFO_1W entry;
      std::memcpy(&entry, buffer.data() + i * sizeof(entry), sizeof(entry));
      record.name = entry.pName ? ToUtf8(entry.pName) : "";
      record.monitor = monitor.name;
    } else {
      PORT_INFO_2W entry;
      std::memcpy(&entry, buffer.data() + i * sizeof(entry), sizeof(entry));
      record.name = entry.pPortName ? ToUtf8(entry.pPortName) : "";
      record.monitor = entry.pMonitorName ? ToUtf8(entry.pMonitorName) : monitor.name;
      record.description = entry.pDescription ? ToUtf8(entry.pDescription) : "";
      record.type = entry.fPortType;
    }
    if (!record.name.empty()) ports.push_back(std::move(record));
  }
  return ERROR_SUCCESS;
}

const LoadedMonitor* PortOwner(const std::string& port, MonitorProblem& problem) {
  std::vector<std::string> monitors = InstalledMonitors();
  std::map<std::string, MonitorProblem> unloadable;
  for (const std::string& name : monitors) {
    MonitorProblem loadProblem;
    const LoadedMonitor* monitor = UseMonitor(name, loadProblem);
    if (!monitor) {
      unloadable[name] = loadProblem;
      continue;
    }
    std::vector<PortRecord> ports;
    if (MonitorPorts(*monitor, 1, ports) == ERROR_SUCCESS && HasPort(ports, port)) return monitor;
  }
  for (const std::string& name : monitors) {
    RegistryKey key;
    if (key.Open(MonitorKeyPath(name)) != ERROR_SUCCESS || !key.HasSubKey(port)) continue;
    auto failed = unloadable.find(name);
    if (failed != unloadable.end()) {
      problem = failed->second;
      return nullptr;
    }
    MonitorProblem ignored;
    return UseMonitor(name, ignored);
  }
  problem = {ERROR_UNKNOWN_PORT, "no monitor has a port \"" + port + "\""};
  return nullptr;
}

}  // namespace qv::spool
