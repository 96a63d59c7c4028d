// Asks the user which kind of action to add to a port's script: "Printer" (a reprint) or
// "Write File". Created fresh for each question; the dialog is the thread's, reused.
#pragma once
#include "Text.h"

namespace MarrowjetUI {

class ControllerActionSelect {
 public:
  // The entry that was selected when the dialog closed.
  Text ActionName() noexcept;
  // Shows the dialog with "Printer" selected; True when the user pressed OK. The owner form
  // is not used: the dialog has no owner.
  bool SelectObjectName(const void* OwnerForm) noexcept;
  void OnCancel() noexcept;
  void OnOk() noexcept;

 private:
  bool ok_ = false;
  Text actionName_;
};

}  // namespace MarrowjetUI
