#include "ControllerActionSelect.h"

#include "ThreadDialogs.h"
#include "modError.h"

#include <qv/macros.h>

namespace MarrowjetUI {

Text ControllerActionSelect::ActionName() noexcept {
  return ReportFailures(WSTR("ControllerActionSelect::GetActionName"), [&] { return actionName_; });
}

bool ControllerActionSelect::SelectObjectName(const void*) noexcept {
  return ReportFailures(WSTR("ControllerActionSelect::SelectObjectName"), [&] {
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
  });
}

void ControllerActionSelect::OnCancel() noexcept {
  ReportFailures(WSTR("ControllerActionSelect::OnCancel"), [&] {
    ok_ = false;
    ThreadDialogs::ActionSelect().Hide();
  });
}

void ControllerActionSelect::OnOk() noexcept {
  ReportFailures(WSTR("ControllerActionSelect::OnOk"), [&] {
    ok_ = true;
    ThreadDialogs::ActionSelect().Hide();
  });
}

}  // namespace MarrowjetUI
