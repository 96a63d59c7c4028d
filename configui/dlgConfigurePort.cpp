#include "dlgConfigurePort.h"

#include "ObjectError.h"

#include <qv/macros.h>

namespace MarrowjetUI {

using QvForms::ControlKind;
using QvForms::Picture;

dlgConfigurePort::dlgConfigurePort()
    : form(WSTR("Add New Port"), 360, 262),
      Label1(form.Add(ControlKind::Label, WSTR("Label1"), {10, 10, 200, 20})),
      txtPortName(form.Add(ControlKind::TextBox, WSTR("txtPortName"), {10, 30, 340, 24})),
      Label2(form.Add(ControlKind::Label, WSTR("Label2"), {10, 62, 200, 20})),
      listPortActions(form.Add(ControlKind::ListBox, WSTR("listPortActions"), {10, 82, 300, 130})),
      btnAddAction(form.Add(ControlKind::PictureButton, WSTR("btnAddAction"), {320, 82, 30, 30})),
      btnDeleteAction(form.Add(ControlKind::PictureButton, WSTR("btnDeleteAction"), {320, 116, 30, 30})),
      btnMoveActionUp(form.Add(ControlKind::PictureButton, WSTR("btnMoveActionUp"), {320, 150, 30, 30})),
      btnMoveActionDown(form.Add(ControlKind::PictureButton, WSTR("btnMoveActionDown"), {320, 184, 30, 30})),
      OKButton(form.Add(ControlKind::PushButton, WSTR("OKButton"), {265, 224, 85, 28})),
      CancelButton(form.Add(ControlKind::PushButton, WSTR("CancelButton"), {170, 224, 85, 28})),
      btnAbout(form.Add(ControlKind::PushButton, WSTR("btnAbout"), {10, 224, 85, 28})) {
  Label1.Caption = WSTR("PortName:");
  Label2.Caption = WSTR("Destinations:");
  btnAddAction.Image = Picture::Plus;
  btnAddAction.ToolTip = WSTR("Add New Action");
  btnDeleteAction.Image = Picture::Cross;
  btnDeleteAction.ToolTip = WSTR("Delete Selected Action");
  btnMoveActionUp.Image = Picture::Up;
  btnMoveActionUp.ToolTip = WSTR("Move Selected Action Up");
  btnMoveActionDown.Image = Picture::Down;
  btnMoveActionDown.ToolTip = WSTR("Move Selected Action Down");
  OKButton.Caption = WSTR("OK");
  CancelButton.Caption = WSTR("Cancel");
  btnAbout.Caption = WSTR("&About");
  form.DefaultButton = &OKButton;
  form.CancelButton = &CancelButton;
  form.SetTabOrder({&txtPortName, &OKButton, &CancelButton, &listPortActions, &btnAddAction, &btnDeleteAction,
                    &btnMoveActionUp, &btnMoveActionDown, &btnAbout});

  // Each button only forwards to the controller's operation of the same meaning.
  auto forward = [this](HRESULT (STDMETHODCALLTYPE _Controller::*operation)()) {
    return [this, operation] {
      if (controller_) (controller_->*operation)();
    };
  };
  OKButton.OnClick = forward(&_Controller::OnOk);
  CancelButton.OnClick = forward(&_Controller::OnCancel);
  btnAddAction.OnClick = forward(&_Controller::OnAdd);
  btnDeleteAction.OnClick = forward(&_Controller::OnDelete);
  btnMoveActionUp.OnClick = forward(&_Controller::OnMoveUp);
  btnMoveActionDown.OnClick = forward(&_Controller::OnMoveDown);
  btnAbout.OnClick = forward(&_Controller::About);
}

void dlgConfigurePort::ShowModal(_Controller* controller) {
  controller_ = controller;
  if (!form.ShowModal()) RaiseSystemError(static_cast<LONG>(GetLastError()));
}

}  // namespace MarrowjetUI
