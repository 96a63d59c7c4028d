#include "ControllerFilePath.h"

#include "ThreadDialogs.h"
#include "modError.h"

#include <qv/macros.h>

namespace MarrowjetUI {

HRESULT ControllerFilePath::OnOk() {
  try {
    dlgFilePath& dialog = ThreadDialogs::FilePath();
    path_ = dialog.txtPath.Text();
    dialog.Hide();
  } catch (...) {
    ReportCaughtError(WSTR("ControllerFilePath::OnOk"));
  }
  return S_OK;
}

HRESULT ControllerFilePath::OnCancel() {
  try {
    ThreadDialogs::FilePath().Hide();
  } catch (...) {
    ReportCaughtError(WSTR("ControllerFilePath::OnCancel"));
  }
  return S_OK;
}

HRESULT ControllerFilePath::OnPopUp() {
  try {
    dlgFilePath& dialog = ThreadDialogs::FilePath();
    const QvForms::Bounds& button = dialog.btn_InsertField.Position();
    dialog.form.ShowPopupMenu(dialog.Fields, button.left, button.top);
  } catch (...) {
    ReportCaughtError(WSTR("ControllerFilePath::OnPopUp"));
  }
  return S_OK;
}

HRESULT ControllerFilePath::Show(BSTR* defaultPath, BSTR* result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  try {
    path_ = defaultPath ? FromBstr(*defaultPath) : Text();
    dlgFilePath& dialog = ThreadDialogs::FilePath();
    dialog.txtPath.SetText(path_);
    dialog.ShowModal(this);
    return CopyToOut(path_, result);
  } catch (...) {
    ReportCaughtError(WSTR("ControllerFilePath::Show"));
    return CopyToOut(Text(), result);
  }
}

HRESULT ControllerFilePath::InsertText(BSTR* fieldCode) {
  try {
    QvForms::Control& box = ThreadDialogs::FilePath().txtPath;
    box.ReplaceSelection(fieldCode ? FromBstr(*fieldCode) : Text());
    box.SetFocus();
  } catch (...) {
    ReportCaughtError(WSTR("ControllerFilePath::InsertText"));
  }
  return S_OK;
}

}  // namespace MarrowjetUI
