// AddPort, ConfigurePort and DeletePort: forwarded to the job processor's Controller, which
// shows the port dialogs owned by the spooler's window and changes the registry. The monitor
// keeps no port list of its own.
#include "ComApartment.h"
#include "ComRef.h"
#include "CreateObject.h"
#include "EntryPoint.h"
#include "ErrorHandler.h"
#include "Monitor.h"
#include "OleString.h"

#include <MarrowjetInterfaces.h>
#include "win/WideString.h"

#include <qv/macros.h>

namespace Quorvane {

namespace {

// The window handle as the Controller's 32-bit integer argument.
LONG WindowValue(HWND hWnd) { return static_cast<LONG>(reinterpret_cast<LONG_PTR>(hWnd)); }

win::WideString Text(LPCWSTR value) { return value ? value : WSTR(""); }

// The last error a failed HRESULT leaves for the spooler: the system code it folds in, else
// the HRESULT itself.
DWORD ErrorOfResult(HRESULT result) {
  if (HRESULT_FACILITY(result) == FACILITY_WIN32 && HRESULT_CODE(result) != 0) return HRESULT_CODE(result);
  return static_cast<DWORD>(result);
}

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
    ComRef<_Controller> controller;
    result = CreateObjectByProgID(PROGID_Controller, IID__Controller, controller.Receive());
    if (SUCCEEDED(result)) result = call(*controller.get());
  }
  if (SUCCEEDED(result)) return TRUE;
  ErrorHandler(result, source, true, hWnd);
  SetLastError(ErrorOfResult(result));
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
    const OleString portName(Text(pPortName));
    return CallController(WSTR("LocalConfigurePort"), hWnd, [&](_Controller& controller) {
      VARIANT_BOOL configured = VARIANT_FALSE;
      return controller.ConfigurePort(portName.get(), WindowValue(hWnd), &configured);
    });
  });
}

BOOL WINAPI LocalDeletePort(LPWSTR, HWND hWnd, LPWSTR pPortName) {
  return RunEntryPoint([&] {
    const OleString portName(Text(pPortName));
    return CallController(WSTR("LocalDeletePort"), hWnd,
                          [&](_Controller& controller) { return controller.DeletePort(portName.get()); });
  });
}

}  // namespace Quorvane
