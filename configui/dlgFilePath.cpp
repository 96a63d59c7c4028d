#include "dlgFilePath.h"

#include <FieldCodes.h>

#include "ObjectError.h"
#include "Text.h"
#include "modError.h"

#include <qv/macros.h>

namespace MarrowjetUI {

using QvForms::ControlKind;

dlgFilePath::dlgFilePath()
    : form(WSTR("File Path"), 460, 84),
      txtPath(form.Add(ControlKind::TextBox, WSTR("txtPath"), {10, 32, 255, 26})),
      Label1(form.Add(ControlKind::Label, WSTR("Label1"), {10, 10, 250, 20})),
      btn_InsertField(form.Add(ControlKind::PushButton, WSTR("btn_InsertField"), {272, 32, 90, 26})),
      btn_OK(form.Add(ControlKind::PushButton, WSTR("btn_OK"), {370, 10, 80, 28})),
      btn_Cancel(form.Add(ControlKind::PushButton, WSTR("btn_Cancel"), {370, 46, 80, 28})) {
  Label1.Caption = WSTR("Enter File Path:");
  btn_InsertField.Caption = WSTR("&Insert Field");
  btn_OK.Caption = WSTR("&OK");
  btn_Cancel.Caption = WSTR("&Cancel");
  form.DefaultButton = &btn_OK;
  form.CancelButton = &btn_Cancel;
  form.SetTabOrder({&txtPath, &btn_InsertField, &btn_OK, &btn_Cancel});
  btn_InsertField.OnClick = [this] {
    if (controller_) controller_->OnPopUp();
  };
  btn_OK.OnClick = [this] {
    if (controller_) controller_->OnOk();
  };
  btn_Cancel.OnClick = [this] {
    if (controller_) controller_->OnCancel();
  };
  Fields.Caption = WSTR("Fields");
  for (const FieldCode& field : kFieldCodes) {
    const Text code = WSTR("?") + Text(field.name) + WSTR("?");
    Fields.Items.push_back({field.name, field.caption, [this, code] {
                              if (!controller_) return;
                              Bstr fieldCode(code);
                              BSTR argument = fieldCode.Get();
                              controller_->InsertText(&argument);
                            }});
  }
}

void dlgFilePath::ShowModal(_ControllerFilePath* controller) noexcept {
  ReportFailures(WSTR("dlgFilePath::ShowModal"), [&] {
    controller_ = controller;
    if (!form.ShowModal()) RaiseSystemError(static_cast<LONG>(GetLastError()));
  });
}

}  // namespace MarrowjetUI
