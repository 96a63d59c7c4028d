// The port configuration dialog: the port's name, its actions, and buttons that forward to
// the controller that opened it.
#pragma once
#include <MarrowjetInterfaces.h>
#include <QvForms.h>

namespace MarrowjetUI {

class dlgConfigurePort {
 public:
  dlgConfigurePort();
  dlgConfigurePort(const dlgConfigurePort&) = delete;
  dlgConfigurePort& operator=(const dlgConfigurePort&) = delete;

  // Stores the controller and shows the dialog modally until it is hidden or closed. Raises
  // the platform's error when the dialog can't be shown.
  void ShowModal(_Controller* controller);
  void Hide() { form.Hide(); }
  HWND Handle() const { return form.Handle(); }

  QvForms::Form form;
  QvForms::Control& Label1;
  QvForms::Control& txtPortName;
  QvForms::Control& Label2;
  QvForms::Control& listPortActions;
  QvForms::Control& btnAddAction;
  QvForms::Control& btnDeleteAction;
  QvForms::Control& btnMoveActionUp;
  QvForms::Control& btnMoveActionDown;
  QvForms::Control& OKButton;
  QvForms::Control& CancelButton;
  QvForms::Control& btnAbout;

 private:
  _Controller* controller_ = nullptr;
};

}  // namespace MarrowjetUI
