#include "Controller.h"

#include "MonitorKey.h"
#include "RegKey.h"
#include "modError.h"

#include <qv/macros.h>

namespace MarrowjetUI {

Script& Controller::TheScript() {
  if (!script_) script_ = std::make_unique<Script>();
  return *script_;
}

// Runs the port's script for one finished job. Whatever fails is logged; the monitor always
// sees success, so the job is finished either way.
HRESULT Controller::PrintFile(BSTR PortName, BSTR TempFilePath, _Job* JobInfo) {
  try {
    Script& script = TheScript();
    script.LoadFromRegistry(FromBstr(PortName));
    script.Run(FromBstr(TempFilePath), JobInfo);
  } catch (...) {
    ReportCaughtError(WSTR("Controller::PrintFile"));
  }
  return S_OK;
}

// The port configuration dialog and its buttons come with the port configuration UI; until
// then these calls change nothing and report success.
HRESULT Controller::ConfigurePort(BSTR, LONG, VARIANT_BOOL* result) {
  if (result) *result = VARIANT_FALSE;
  return S_OK;
}

HRESULT Controller::AddPort(LONG, VARIANT_BOOL* result) {
  if (result) *result = VARIANT_FALSE;
  return S_OK;
}

HRESULT Controller::OnOk() { return S_OK; }
HRESULT Controller::OnCancel() { return S_OK; }
HRESULT Controller::OnAdd() { return S_OK; }
HRESULT Controller::OnDelete() { return S_OK; }
HRESULT Controller::OnMoveUp() { return S_OK; }
HRESULT Controller::OnMoveDown() { return S_OK; }
HRESULT Controller::RefreshActionList() { return S_OK; }
HRESULT Controller::About() { return S_OK; }

// Removes the port's key, and with it the port's script. A port that does not exist is no
// failure; a monitor key that can't be opened is logged by the key wrapper.
HRESULT Controller::DeletePort(BSTR PortName) {
  try {
    RegKey monitor;
    monitor.OpenKey(HKEY_LOCAL_MACHINE, kMonitorKey);
    monitor.DeleteKey(FromBstr(PortName));
  } catch (...) {
    ReportCaughtError(WSTR("Controller::DeletePort"));
  }
  return S_OK;
}

}  // namespace MarrowjetUI
