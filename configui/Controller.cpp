#include "Controller.h"

#include "ActionReprint.h"
#include "ActionWriteFile.h"
#include "ControllerActionSelect.h"
#include "MonitorKey.h"
#include "ObjectError.h"
#include "RegKey.h"
#include "ThreadDialogs.h"
#include "dlgAbout.h"
#include "modError.h"

#include <qv/macros.h>

namespace MarrowjetUI {
namespace {

constexpr size_t kLongestPortName = 250;
// GWL_HWNDPARENT: the window data that names a window's owner (64-bit Windows headers spell
// it only as GWLP_HWNDPARENT).
constexpr int kOwnerWindowIndex = -8;

// Refused names get a stop box over the dialog, and the dialog stays open.
void Refuse(const dlgConfigurePort& dialog, const WCHAR* message) {
  MessageBoxW(dialog.Handle(), message, WSTR("Error"), MB_OK | MB_ICONSTOP);
}

}  // namespace

Script& Controller::TheScript() {
  if (!script_) script_ = std::make_unique<Script>();
  return *script_;
}

dlgConfigurePort& Controller::Dialog() {
  if (!dialog_) RaiseError(kErrorObjectNotSet, WSTR("Object variable or With block variable not set"));
  return *dialog_;
}

// Runs the port's script for one finished job. Whatever fails is logged; the monitor always
// sees success, so the job is finished either way.
HRESULT Controller::PrintFile(BSTR PortName, BSTR TempFilePath, _Job* JobInfo) {
  ReportFailures(WSTR("Controller::PrintFile"), [&] {
    Script& script = TheScript();
    script.LoadFromRegistry(FromBstr(PortName));
    script.Run(FromBstr(TempFilePath), JobInfo);
  });
  return S_OK;
}

void Controller::ShowAndDestroy() {
  struct Destroy {
    Controller& controller;
    ~Destroy() {
      controller.dialog_.reset();
      ThreadDialogs::Release();
    }
  } destroy{*this};
  dialog_->ShowModal(this);
}

void Controller::AbandonDialog(TextView source) noexcept {
  dialog_.reset();
  ThreadDialogs::Release();
  ReportCaughtError(source);
}

HRESULT Controller::ConfigurePort(BSTR PortName, LONG hwnd, VARIANT_BOOL* result) {
  if (result) *result = VARIANT_FALSE;
  win::ExceptionBarrier([&] {
    dialog_ = std::make_unique<dlgConfigurePort>();
    SetWindowLongA(dialog_->Handle(), kOwnerWindowIndex, hwnd);
    const Text name = FromBstr(PortName);
    Script& script = TheScript();
    script.LoadFromRegistry(name);
    for (const ActionRef& action : script.GetActions()->NewEnum()) dialog_->listPortActions.AddItem(action->AsString());
    dialog_->txtPortName.SetText(name);
    dialog_->txtPortName.Enabled = false;
    ShowAndDestroy();
  }, [&](bool) { AbandonDialog(WSTR("Controller::ConfigurePort")); });
  return S_OK;
}

HRESULT Controller::AddPort(LONG hwnd, VARIANT_BOOL* result) {
  if (result) *result = VARIANT_FALSE;
  win::ExceptionBarrier([&] {
    dialog_ = std::make_unique<dlgConfigurePort>();
    SetWindowLongA(dialog_->Handle(), kOwnerWindowIndex, hwnd);
    TheScript().SetActions(std::make_shared<Actions>());
    ShowAndDestroy();
  }, [&](bool) { AbandonDialog(WSTR("Controller::AddPort")); });
  return S_OK;
}

HRESULT Controller::OnOk() {
  ReportFailures(WSTR("Controller::OnOk"), [&] {
    dlgConfigurePort& dialog = Dialog();
    const Text name = dialog.txtPortName.Text();
    if (name.empty()) return Refuse(dialog, WSTR("You must specify a port name"));
    if (name.find(WCHAR('\\')) != Text::npos)
      return Refuse(dialog, WSTR("You can not use the \\ character in a port name"));
    if (name.size() > kLongestPortName)
      return Refuse(dialog, WSTR("The maximum size of a port name is 250 characters"));
    if (dialog.listPortActions.ListCount() == 0)
      return Refuse(dialog, WSTR("You must have at least one action defined before adding a port"));
    if (dialog.txtPortName.Enabled) {
      RegKey existing;
      if (existing.OpenKey(HKEY_LOCAL_MACHINE, Text(kMonitorKey) + WSTR("\\") + name) == 0)
        return Refuse(dialog, WSTR("Duplicate port name, each port must have a unique name"));
    }
    TheScript().SaveToRegistry(name);
    dialog.Hide();
  });
  return S_OK;
}

HRESULT Controller::OnCancel() {
  ReportFailures(WSTR("Controller::OnCancel"), [&] { Dialog().Hide(); });
  return S_OK;
}

HRESULT Controller::OnAdd() {
  ReportFailures(WSTR("Controller::OnAdd"), [&] {
    dlgConfigurePort& dialog = Dialog();
    ControllerActionSelect select;
    if (select.SelectObjectName(&dialog)) {
      const Text kind = select.ActionName();
      ActionRef action;
      if (kind == WSTR("Write File")) {
        action = std::make_shared<ActionWriteFile>();
      } else if (kind == WSTR("Printer")) {
        action = std::make_shared<ActionReprint>();
      } else {
        RaiseError(kErrorInvalidArgument, WSTR("Unknown action kind: ") + kind);
      }
      // Whatever the user does in the action's own dialog, the action is added.
      action->ConfigureUI();
      TheScript().GetActions()->Add(action);
      RefreshActionList();
    }
    dialog.OKButton.SetFocus();
  });
  return S_OK;
}

HRESULT Controller::OnDelete() {
  ReportFailures(WSTR("Controller::OnDelete"), [&] {
    dlgConfigurePort& dialog = Dialog();
    const long selected = dialog.listPortActions.ListIndex();
    if (selected != -1) {
      TheScript().GetActions()->Remove(selected + 1);
      RefreshActionList();
    }
  });
  return S_OK;
}

HRESULT Controller::OnMoveUp() {
  ReportFailures(WSTR("Controller::OnMoveUp"), [&] {
    dlgConfigurePort& dialog = Dialog();
    const long selected = dialog.listPortActions.ListIndex();
    if (dialog.listPortActions.ListCount() > 1 && selected > 0) {
      TheScript().GetActions()->MoveUp(selected + 1);
      RefreshActionList();
      dialog.listPortActions.SetListIndex(selected - 1);
    }
  });
  return S_OK;
}

HRESULT Controller::OnMoveDown() {
  ReportFailures(WSTR("Controller::OnMoveDown"), [&] {
    dlgConfigurePort& dialog = Dialog();
    const long selected = dialog.listPortActions.ListIndex();
    if (selected >= 0 && selected + 1 < dialog.listPortActions.ListCount()) {
      TheScript().GetActions()->MoveDown(selected + 1);
      RefreshActionList();
      dialog.listPortActions.SetListIndex(selected + 1);
    }
  });
  return S_OK;
}

HRESULT Controller::RefreshActionList() {
  ReportFailures(WSTR("Controller::RefreshActionList"), [&] {
    QvForms::Control& list = Dialog().listPortActions;
    list.Clear();
    for (const ActionRef& action : TheScript().GetActions()->NewEnum()) list.AddItem(action->AsString());
  });
  return S_OK;
}

HRESULT Controller::About() {
  ReportFailures(WSTR("Controller::About"), [&] {
    dlgAbout about;
    about.ShowModal();
  });
  return S_OK;
}

// Removes the port's key, and with it the port's script. A port that does not exist is no
// failure; a monitor key that can't be opened is logged by the key wrapper.
HRESULT Controller::DeletePort(BSTR PortName) {
  ReportFailures(WSTR("Controller::DeletePort"), [&] {
    RegKey monitor;
    monitor.OpenKey(HKEY_LOCAL_MACHINE, kMonitorKey);
    monitor.DeleteKey(FromBstr(PortName));
  });
  return S_OK;
}

}  // namespace MarrowjetUI
