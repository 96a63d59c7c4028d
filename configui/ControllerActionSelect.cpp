#include "ControllerActionSelect.h"

#include "ThreadDialogs.h"
#include "modError.h"

#include <qv/macros.h>

namespace MarrowjetUI {

Text ControllerActionSelect::ActionName() noexcept {
  try {
    return actionName_;
  } catch (...) {
    ReportCaughtError(WSTR("ControllerActionSelect::GetActionName"));
    return {};
  }
}

bool ControllerActionSelect::SelectObjectName(const void*) noexcept {
  try {
    dlgActionSelect& dialog = ThreadDialogs::ActionSelect();
    if (dialog.cmbActions.ListCount() == 0) {
      dialog.cmbActions.AddItem(WSTR("Printer"));
      dialog.cmbActions.AddItem(WSTR("Write File"));
    }
    dialog.cmbActions.SetListIndex(0);
    dialog.ShowModal(*this);
    const long selected = dialog.cmbActions.ListIndex();
    actionName_ = selected >= 0 ? dialog.cmbActions.Items().at(static_cast<size_t>(selected)) : Text();
    return ok_;
  } catch (...) {
    ReportCaughtError(WSTR("ControllerActionSelect::SelectObjectName"));
    return false;
  }
}

void ControllerActionSelect::OnCancel() noexcept {
  try {
    ok_ = false;
    ThreadDialogs::ActionSelect().Hide();
  } catch (...) {
    ReportCaughtError(WSTR("ControllerActionSelect::OnCancel"));
  }
}

void ControllerActionSelect::OnOk() noexcept {
  try {
    ok_ = true;
    ThreadDialogs::ActionSelect().Hide();
  } catch (...) {
    ReportCaughtError(WSTR("ControllerActionSelect::OnOk"));
  }
}

}  // namespace MarrowjetUI
