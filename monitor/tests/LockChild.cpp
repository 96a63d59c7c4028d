// The monitor in a second process, on the prefix named by QUORVANE_PREFIX: opens a port and
// says "ready", waits for "go" on its input, then calls StartDocPort. Exits 0 when StartDocPort
// returned only after the file named by its second argument existed (the first process's
// script had finished), 1 when it returned before, 2 when it failed, 3 on a setup problem.
// Usage: qvpm_lock_child LIBRARY MARKER
#include "FakeSpooler.h"

#include <winsplp.h>

#include <dlfcn.h>
#include <filesystem>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) return 3;
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

  std::cout << "ready" << std::endl;
  std::string line;
  if (!std::getline(std::cin, line) || line != "go") return 3;
  std::u16string printer = u"Printer";
  if (!monitor.pfnStartDocPort(port, printer.data(), 8, 1, nullptr)) return 2;
  return std::filesystem::exists(argv[2]) ? 0 : 1;
}
