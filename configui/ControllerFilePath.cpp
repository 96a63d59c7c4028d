#include "ControllerFilePath.h"

#include "ThreadDialogs.h"
#include "modError.h"

#include <qv/macros.h>

namespace MarrowjetUI {

HRESULT ControllerFilePath::OnOk() {
  ReportFailures(WSTR("ControllerFilePath::OnOk"), [&] {
    dlgFilePath& dialog = ThreadDialogs::FilePath();
    path_ = dialog.txtPath.Text();
    dialog.Hide();
  });
  return S_OK;
}

HRESULT ControllerFilePath::OnCancel() {
  ReportFailures(WSTR("ControllerFilePath::OnCancel"), [&] { ThreadDialogs::FilePath().Hide(); });
  return S_OK;
}

HRESULT ControllerFilePath::OnPopUp() {
  ReportFailures(WSTR("ControllerFilePath::OnPopUp"), [&] {
    dlgFilePath& dialog = ThreadDialogs::FilePath();
    const QvForms::Bounds& button = dialog.btn_InsertField.Position();
    dialog.form.ShowPopupMenu(dialog.Fields, button.left, button.top);
  });
  return S_OK;
}

HRESULT ControllerFilePath::Show(BSTR* defaultPath, BSTR* result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  return win::ExceptionBarrier(
      [&] {
        path_ = defaultPath ? FromBstr(*defaultPath) : Text();
        dlgFilePath& dialog = ThreadDialogs::FilePath();
        dialog.txtPath.SetText(path_);
        dialog.ShowModal(this);
        return CopyToOut(path_, result);
      },
      [&](bool) {
        // The caller still gets a string: an empty one.
        ReportCaughtError(WSTR("ControllerFilePath::Show"));
        return CopyToOut(Text(), result);
      });
}

HRESULT ControllerFilePath::InsertText(BSTR* fieldCode) {
  ReportFailures(WSTR("ControllerFilePath::InsertText"), [&] {
    QvForms::Control& box = ThreadDialogs::FilePath().txtPath;
    box.ReplaceSelection(fieldCode ? FromBstr(*fieldCode) : Text());
    box.SetFocus();
  });
  return S_OK;
}

}  // namespace MarrowjetUI
