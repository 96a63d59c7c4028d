// The monitor in a second process, on the prefix named by QUORVANE_PREFIX: opens a port and
// says "ready", waits for "go" on its input, then makes its calls. MODE "enddoc": StartDocPort
// and WritePort before "ready", EndDocPort after "go" (it runs a script, so it must wait for the
// first process's script). MODE "write": StartDocPort and WritePort after "go" (its own job
// only, so it must not wait). MODE "openclose": OpenPort and ClosePort of another port after
// "go" (this process's port table only, so it must not wait either).
// Exits 0 when the calls returned as they should (EndDocPort only after the file named MARKER
// existed, i.e. the first process's script had finished; StartDocPort and WritePort before),
// 1 when they did not, 2 when a call failed, 3 on a setup problem.
// Usage: qvpm_lock_child LIBRARY MARKER MODE
#include "FakeSpooler.h"

#include <winsplp.h>

#include <dlfcn.h>
#include <filesystem>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 4) return 3;
  const std::string mode = argv[3];
  Spooler().printers = {u"Printer"};
  Spooler().jobs[8] = FakeJob{};
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!library) return 3;
  auto initialize = reinterpret_cast<PFN_InitializePrintMonitor>(dlsym(library, "InitializePrintMonitor"));
  std::u16string root = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane";
  const MONITOR& monitor = initialize(root.data())->Monitor;
  HANDLE port = nullptr;
  std::u16string name = u"QV2:";
  if (!monitor.pfnOpenPort(name.data(), &port)) return 3;
  std::u16string printer = u"Printer";
  BYTE data[4] = {'d', 'a', 't', 'a'};
  DWORD written = 0;
  auto startAndWrite = [&] {
    return monitor.pfnStartDocPort(port, printer.data(), 8, 1, nullptr) &&
           monitor.pfnWritePort(port, data, sizeof data, &written) && written == sizeof data;
  };
  if (mode == "enddoc" && !startAndWrite()) return 2;

  std::cout << "ready" << std::endl;
  std::string line;
  if (!std::getline(std::cin, line) || line != "go") return 3;
  if (mode == "openclose") {
    HANDLE other = nullptr;
    std::u16string otherName = u"QV4:";
    if (!monitor.pfnOpenPort(otherName.data(), &other) || !monitor.pfnClosePort(other)) return 2;
    return std::filesystem::exists(argv[2]) ? 1 : 0;
  }
  if (mode == "write") {
    if (!startAndWrite()) return 2;
    return std::filesystem::exists(argv[2]) ? 1 : 0;
  }
  if (!monitor.pfnEndDocPort(port)) return 2;
  return std::filesystem::exists(argv[2]) ? 0 : 1;
}
