// AddPort, ConfigurePort and DeletePort: forwarded to the job processor's Controller, which
// shows the port dialogs owned by the spooler's window and changes the registry. The monitor
// keeps no port list of its own.
#include "ComApartment.h"
#include "win/ComPtr.h"
#include "CreateObject.h"
#include "EntryPoint.h"
#include "ErrorHandler.h"
#include "Monitor.h"
#include "SystemErrorOf.h"
#include "win/ComBstr.h"

#include <MarrowjetInterfaces.h>
#include "win/WideString.h"

#include <qv/macros.h>

namespace Quorvane {

namespace {

// The window handle as the Controller's 32-bit integer argument.
LONG WindowValue(HWND hWnd) { return static_cast<LONG>(reinterpret_cast<LONG_PTR>(hWnd)); }

win::WideString Text(LPCWSTR value) { return value ? value : WSTR(""); }

// Creates a Controller in an apartment of its own, makes one call on it and releases it. The
// Boolean a dialog answers is not looked at: TRUE whenever the call went through. A Controller
// that can't be created, or a call that fails, is reported under `source` in a message box
// owned by `hWnd`, and the result is FALSE.
template <class Call>
BOOL CallController(LPCWSTR source, HWND hWnd, Call&& call) {
  MonitorLock::Guard guard(Lock);
  HRESULT result = S_OK;
  {
    ComApartment apartment;
    win::ComPtr<_Controller> controller;
    result = CreateObjectByProgID(PROGID_Controller, IID__Controller, controller.Out());
    if (SUCCEEDED(result)) result = call(*controller.Get());
  }
  if (SUCCEEDED(result)) return TRUE;
  ErrorHandler(result, source, true, hWnd);
  // Any other failure is left as the HRESULT itself, so that the caller can tell which it was.
  SetLastError(SystemErrorOf(result, static_cast<DWORD>(result)));
  return FALSE;
}

}  // namespace

BOOL WINAPI LocalAddPort(LPWSTR, HWND hWnd, LPWSTR) {
  return RunEntryPoint([&] {
    return CallController(WSTR("LocalAddPort"), hWnd, [&](_Controller& controller) {
      VARIANT_BOOL added = VARIANT_FALSE;
      return controller.AddPort(WindowValue(hWnd), &added);
    });
  });
}

BOOL WINAPI LocalConfigurePort(LPWSTR, HWND hWnd, LPWSTR pPortName) {
  return RunEntryPoint([&] {
    const win::ComBstr portName(Text(pPortName));
    return CallController(WSTR("LocalConfigurePort"), hWnd, [&](_Controller& controller) {
      VARIANT_BOOL configured = VARIANT_FALSE;
      return controller.ConfigurePort(portName.Get(), WindowValue(hWnd), &configured);
    });
  });
}

BOOL WINAPI LocalDeletePort(LPWSTR, HWND hWnd, LPWSTR pPortName) {
  return RunEntryPoint([&] {
    const win::ComBstr portName(Text(pPortName));
    return CallController(WSTR("LocalDeletePort"), hWnd,
                          [&](_Controller& controller) { return controller.DeletePort(portName.Get()); });
  });
}

}  // namespace Quorvane
