#include "dlgPrinterSelect.h"

#include "ControllerPrinterSelect.h"
#include "ObjectError.h"
#include "modError.h"

#include <qv/macros.h>

namespace MarrowjetUI {

using QvForms::ControlKind;

dlgPrinterSelect::dlgPrinterSelect()
    : form(WSTR("Printer Selection"), 320, 96),
      Label1(form.Add(ControlKind::Label, WSTR("Label1"), {10, 10, 200, 20})),
      cmbPrinter(form.Add(ControlKind::ComboBox, WSTR("cmbPrinter"), {10, 32, 200, 26})),
      OKButton(form.Add(ControlKind::PushButton, WSTR("OKButton"), {225, 10, 85, 28})),
      CancelButton(form.Add(ControlKind::PushButton, WSTR("CancelButton"), {225, 46, 85, 28})) {
  Label1.Caption = WSTR("Select Printer:");
  OKButton.Caption = WSTR("OK");
  CancelButton.Caption = WSTR("Cancel");
  form.DefaultButton = &OKButton;
  form.CancelButton = &CancelButton;
  form.SetTabOrder({&OKButton, &CancelButton, &cmbPrinter});
  OKButton.OnClick = [this] {
    if (controller_) controller_->OnOk();
  };
  CancelButton.OnClick = [this] {
    if (controller_) controller_->OnCancel();
  };
}

void dlgPrinterSelect::ShowModal(ControllerPrinterSelect& controller) noexcept {
  ReportFailures(WSTR("dlgPrinterSelect::ShowModal"), [&] {
    controller_ = &controller;
    if (!form.ShowModal()) RaiseSystemError(static_cast<LONG>(GetLastError()));
  });
}

}  // namespace MarrowjetUI
