// The job processor's entry for the monitor: the print entry PrintFile, and the port
// management calls with the port configuration dialog, whose buttons call back into the same
// object. The controller holds one script for its lifetime, created on first use; while a
// dialog is open that script is the working copy that only OnOk stores.
#pragma once
#include <MarrowjetInterfaces.h>

#include <memory>

#include "DispatchObject.h"
#include "dlgConfigurePort.h"
#include "Script.h"

namespace MarrowjetUI {

class Controller final : public DispatchObject<Controller, _Controller, IID__Controller> {
 public:
  HRESULT STDMETHODCALLTYPE PrintFile(BSTR PortName, BSTR TempFilePath, _Job* JobInfo) override;
  HRESULT STDMETHODCALLTYPE ConfigurePort(BSTR PortName, LONG hwnd, VARIANT_BOOL* result) override;
  HRESULT STDMETHODCALLTYPE AddPort(LONG hwnd, VARIANT_BOOL* result) override;
  HRESULT STDMETHODCALLTYPE OnOk() override;
  HRESULT STDMETHODCALLTYPE OnCancel() override;
  HRESULT STDMETHODCALLTYPE OnAdd() override;
  HRESULT STDMETHODCALLTYPE OnDelete() override;
  HRESULT STDMETHODCALLTYPE OnMoveUp() override;
  HRESULT STDMETHODCALLTYPE OnMoveDown() override;
  HRESULT STDMETHODCALLTYPE RefreshActionList() override;
  HRESULT STDMETHODCALLTYPE DeletePort(BSTR PortName) override;
  HRESULT STDMETHODCALLTYPE About() override;

 private:
  Script& TheScript();
  // The open port dialog; raises an error when there is none.
  dlgConfigurePort& Dialog();
  // Shows the dialog made by ConfigurePort or AddPort, then destroys it and the thread's
  // selection dialogs.
  void ShowAndDestroy();
  // The handler of a port dialog that could not be shown: the dialog and the thread's dialogs
  // go, and the failure is reported under `source`. Call only inside a catch block.
  void AbandonDialog(TextView source) noexcept;

  std::unique_ptr<Script> script_;
  std::unique_ptr<dlgConfigurePort> dialog_;
};

}  // namespace MarrowjetUI
