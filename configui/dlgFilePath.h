// The dialog in which a file path template is edited, with the "Fields" menu of field codes;
// its buttons and menu items forward to its controller.
#pragma once
#include <MarrowjetInterfaces.h>
#include <QvForms.h>

namespace MarrowjetUI {

class dlgFilePath {
 public:
  dlgFilePath();
  dlgFilePath(const dlgFilePath&) = delete;
  dlgFilePath& operator=(const dlgFilePath&) = delete;

  // Stores the controller and shows the dialog modally until it is hidden or closed. A dialog
  // that can't be shown is logged; the controller's answer then stays its default.
  void ShowModal(_ControllerFilePath* controller) noexcept;
  void Hide() { form.Hide(); }

  QvForms::Form form;
  QvForms::Control& txtPath;
  QvForms::Control& Label1;
  QvForms::Control& btn_InsertField;
  QvForms::Control& btn_OK;
  QvForms::Control& btn_Cancel;
  QvForms::PopupMenu Fields;

 private:
  _ControllerFilePath* controller_ = nullptr;
};

}  // namespace MarrowjetUI
