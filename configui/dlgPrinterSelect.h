// The dialog that asks for the printer a reprint sends its jobs to; its buttons forward to
// its controller.
#pragma once
#include <QvForms.h>

namespace MarrowjetUI {

class ControllerPrinterSelect;

class dlgPrinterSelect {
 public:
  dlgPrinterSelect();
  dlgPrinterSelect(const dlgPrinterSelect&) = delete;
  dlgPrinterSelect& operator=(const dlgPrinterSelect&) = delete;

  // Stores the controller and shows the dialog modally until it is hidden or closed. A
  // dialog that can't be shown is logged; the controller's OK flag then stays as it was.
  void ShowModal(ControllerPrinterSelect& controller) noexcept;
  void Hide() { form.Hide(); }

  QvForms::Form form;
  QvForms::Control& Label1;
  QvForms::Control& cmbPrinter;
  QvForms::Control& OKButton;
  QvForms::Control& CancelButton;

 private:
  ControllerPrinterSelect* controller_ = nullptr;
};

}  // namespace MarrowjetUI
