// The dialog that asks which kind of action to add; its buttons forward to its controller.
#pragma once
#include <QvForms.h>

namespace MarrowjetUI {

class ControllerActionSelect;

class dlgActionSelect {
 public:
  dlgActionSelect();
  dlgActionSelect(const dlgActionSelect&) = delete;
  dlgActionSelect& operator=(const dlgActionSelect&) = delete;

  // Stores the controller and shows the dialog modally until it is hidden or closed. A
  // dialog that can't be shown is logged; the controller's OK flag then stays as it was.
  void ShowModal(ControllerActionSelect& controller) noexcept;
  void Hide() { form.Hide(); }

  QvForms::Form form;
  QvForms::Control& Label1;
  QvForms::Control& cmbActions;
  QvForms::Control& OKButton;
  QvForms::Control& CancelButton;

 private:
  ControllerActionSelect* controller_ = nullptr;
};

}  // namespace MarrowjetUI
