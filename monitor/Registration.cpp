// Installation: DllRegisterServer records the monitor with the spooler and registers the
// library's type library; DllUnregisterServer moves the printers off the monitor's ports, then
// removes both again.
#include "DetachPrinters.h"
#include "ErrorHandler.h"
#include "Monitor.h"
#include "OwnTypeLibrary.h"

#include <new>

namespace {

constexpr WCHAR kEnvironment[] = WSTR("Windows NT x86");
constexpr WCHAR kLibraryFileName[] = WSTR("QVPM.DLL");  // the file name the spooler loads

// A monitor that is already installed is only logged, so that registering twice succeeds.
void AddMonitor() {
  std::u16string name = MonitorName;
  std::u16string environment = kEnvironment;
  std::u16string library = kLibraryFileName;
  MONITOR_INFO_2W info{name.data(), environment.data(), library.data()};
  if (!AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)))
    ErrorHandler(static_cast<LONG>(GetLastError()), WSTR("DLLRegisterServer"), false, nullptr);
}

// Whatever the spooler answers: a monitor it refuses to remove stays installed.
void DeleteMonitor() {
  std::u16string name = MonitorName;
  std::u16string environment = kEnvironment;
  DeleteMonitorW(nullptr, environment.data(), name.data());
}

}  // namespace

HRESULT STDAPICALLTYPE DllRegisterServer() {
  try {
    AddMonitor();
    OwnTypeLibrary library;
    const HRESULT result = library.Load();
    return FAILED(result) ? result : library.Register();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// Each step that fails only skips what depends on it; the result is always S_OK.
HRESULT STDAPICALLTYPE DllUnregisterServer() {
  try {
    DetachPrinters();
  } catch (...) {
  }
  try {
    DeleteMonitor();
  } catch (...) {
  }
  try {
    OwnTypeLibrary library;
    if (SUCCEEDED(library.Load())) library.Unregister();
  } catch (...) {
  }
  return S_OK;
}
