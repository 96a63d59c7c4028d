// The print system that answers the spooler API, and what a print system offers by default.
#include "EmbeddedPrintSystem.h"
#include "Monitors.h"
#include "Status.h"

#include <qv/print_system.h>

#include <atomic>

namespace qv {
namespace {

std::atomic<PrintSystem*> chosen{nullptr};

PrintSystem& Embedded() {
  static auto* embedded = new spool::EmbeddedPrintSystem;
  return *embedded;
}

}  // namespace

PrintSystem& CurrentPrintSystem() {
  PrintSystem* system = chosen.load();
  return system ? *system : Embedded();
}

void SetPrintSystem(PrintSystem* system) { chosen.store(system); }

PrintSystem& EmbeddedSystem() { return Embedded(); }

DWORD LoadPortMonitor(const std::string& name, MONITOR& table, std::string& problem) {
  spool::MonitorProblem why;
  const spool::LoadedMonitor* monitor = spool::UseMonitor(name, why);
  if (!monitor) {
    problem = why.detail;
    return why.status ? why.status : static_cast<DWORD>(ERROR_GEN_FAILURE);
  }
  table = monitor->table;
  return ERROR_SUCCESS;
}

using spool::Fail;

BOOL PrintSystem::OpenPrinterW(LPWSTR, LPHANDLE printer, LPPRINTER_DEFAULTSW) {
  if (printer) *printer = nullptr;
  return Fail(ERROR_NOT_SUPPORTED);
}
BOOL PrintSystem::OpenPrinterA(LPSTR, LPHANDLE printer, LPPRINTER_DEFAULTSA) {
  if (printer) *printer = nullptr;
  return Fail(ERROR_NOT_SUPPORTED);
}
BOOL PrintSystem::ClosePrinter(HANDLE) { return Fail(ERROR_INVALID_HANDLE); }
BOOL PrintSystem::GetJobW(HANDLE, DWORD, DWORD, LPBYTE, DWORD, LPDWORD) { return Fail(ERROR_NOT_SUPPORTED); }
BOOL PrintSystem::SetJobW(HANDLE, DWORD, DWORD, LPBYTE, DWORD) { return Fail(ERROR_NOT_SUPPORTED); }
DWORD PrintSystem::StartDocPrinterA(HANDLE, DWORD, LPBYTE) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return 0;
}
BOOL PrintSystem::StartPagePrinter(HANDLE) { return Fail(ERROR_NOT_SUPPORTED); }
BOOL PrintSystem::WritePrinter(HANDLE, LPVOID, DWORD, LPDWORD written) {
  if (written) *written = 0;
  return Fail(ERROR_NOT_SUPPORTED);
}
BOOL PrintSystem::EndPagePrinter(HANDLE) { return Fail(ERROR_NOT_SUPPORTED); }
BOOL PrintSystem::EndDocPrinter(HANDLE) { return Fail(ERROR_NOT_SUPPORTED); }
BOOL PrintSystem::EnumPrintersW(DWORD, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD) {
  return Fail(ERROR_NOT_SUPPORTED);
}
BOOL PrintSystem::EnumPortsW(LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD) { return Fail(ERROR_NOT_SUPPORTED); }
BOOL PrintSystem::GetPrinterW(HANDLE, DWORD, LPBYTE, DWORD, LPDWORD) { return Fail(ERROR_NOT_SUPPORTED); }
BOOL PrintSystem::SetPrinterW(HANDLE, DWORD, LPBYTE, DWORD) { return Fail(ERROR_NOT_SUPPORTED); }
BOOL PrintSystem::AddMonitorW(LPWSTR, DWORD, LPBYTE) { return Fail(ERROR_NOT_SUPPORTED); }
BOOL PrintSystem::DeleteMonitorW(LPWSTR, LPWSTR, LPWSTR) { return Fail(ERROR_NOT_SUPPORTED); }
BOOL PrintSystem::AddPortW(LPWSTR, HWND, LPWSTR) { return Fail(ERROR_NOT_SUPPORTED); }
BOOL PrintSystem::ConfigurePortW(LPWSTR, HWND, LPWSTR) { return Fail(ERROR_NOT_SUPPORTED); }
BOOL PrintSystem::DeletePortW(LPWSTR, HWND, LPWSTR) { return Fail(ERROR_NOT_SUPPORTED); }

}  // namespace qv
