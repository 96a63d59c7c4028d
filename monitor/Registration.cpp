// Installation: DllRegisterServer records the monitor with the spooler and registers the
// library's type library; DllUnregisterServer moves the printers off the monitor's ports, then
// removes both again.
#include "DetachPrinters.h"
#include "ErrorHandler.h"
#include "Monitor.h"
#include "OwnTypeLibrary.h"

#include "win/ExceptionBarrier.h"
#include "win/WideString.h"

#include <qv/macros.h>

namespace Quorvane {

namespace {

// The environment the monitor has always been recorded under, whatever the machine's; removal
// must name the same one.
constexpr WCHAR kEnvironment[] = WSTR("Windows NT x86");
constexpr WCHAR kLibraryFileName[] = WSTR("QVPM.DLL");  // the file name the spooler loads

// A monitor that is already installed is only logged, so that registering twice succeeds.
void InstallMonitor() {
  win::WideString name = MonitorName;
  win::WideString environment = kEnvironment;
  win::WideString library = kLibraryFileName;
  MONITOR_INFO_2W info{name.data(), environment.data(), library.data()};
  // "DLLRegisterServer", not the export's own spelling: the source logged entries have always had.
  if (!AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)))
    ErrorHandler(static_cast<LONG>(GetLastError()), WSTR("DLLRegisterServer"), false, nullptr);
}

// Whatever the spooler answers: a monitor it refuses to remove stays installed.
void UninstallMonitor() {
  win::WideString name = MonitorName;
  win::WideString environment = kEnvironment;
  DeleteMonitorW(nullptr, environment.data(), name.data());
}

}  // namespace

}  // namespace Quorvane

HRESULT STDAPICALLTYPE DllRegisterServer() {
  using namespace Quorvane;
  return win::ExceptionBarrier(
      [] {
        InstallMonitor();
        OwnTypeLibrary library;
        const HRESULT result = library.Load();
        return FAILED(result) ? result : library.Register();
      },
      [](bool outOfMemory) { return outOfMemory ? E_OUTOFMEMORY : E_UNEXPECTED; });
}

// Each step that fails only skips what depends on it; the result is always S_OK.
HRESULT STDAPICALLTYPE DllUnregisterServer() {
  using namespace Quorvane;
  const auto skip = [](bool) {};
  win::ExceptionBarrier(DetachPrinters, skip);
  win::ExceptionBarrier(UninstallMonitor, skip);
  win::ExceptionBarrier(
      [] {
        OwnTypeLibrary library;
        if (SUCCEEDED(library.Load())) library.Unregister();
      },
      skip);
  return S_OK;
}

