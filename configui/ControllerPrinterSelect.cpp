#include "ControllerPrinterSelect.h"

#include <winspool.h>

#include "ObjectError.h"
#include "ThreadDialogs.h"
#include "modError.h"

#include <qv/macros.h>

namespace MarrowjetUI {
namespace {

// Letter case ignored, as printer names compare.
Text Upper(TextView text) {
  Text upper(text);
  for (WCHAR& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<WCHAR>(c - 'a' + 'A');
  return upper;
}

}  // namespace

std::vector<Text> PrinterNames() {
  DWORD needed = 0;
  DWORD returned = 0;
  std::vector<BYTE> buffer;
  // The list may grow between the two calls; ask until it fits.
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.empty() ? nullptr : buffer.data(),
                      static_cast<DWORD>(buffer.size()), &needed, &returned)) {
      std::vector<Text> names;
      const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
      for (DWORD i = 0; i < returned; ++i)
        if (printers[i].pPrinterName) names.emplace_back(printers[i].pPrinterName);
      return names;
    }
    const DWORD status = GetLastError();
    if (status != ERROR_INSUFFICIENT_BUFFER) RaiseSystemError(static_cast<LONG>(status));
    buffer.assign(needed, 0);
  }
  RaiseSystemError(ERROR_INSUFFICIENT_BUFFER);
}

void ControllerPrinterSelect::OnCancel() noexcept {
  ReportFailures(WSTR("ControllerPrinterSelect::OnCancel"), [&] {
    ThreadDialogs::PrinterSelect().Hide();
    ok_ = false;
  });
}

void ControllerPrinterSelect::OnOk() noexcept {
  ReportFailures(WSTR("ControllerPrinterSelect::OnOk"), [&] {
    dlgPrinterSelect& dialog = ThreadDialogs::PrinterSelect();
    // The print system runs as the local system account, which can't reach network printers.
    if (dialog.cmbPrinter.Text().substr(0, 2) == WSTR("\\\\")) {
      MessageBoxW(dialog.form.Handle(),
                  WSTR("The LocalSystem account does not have permission to access network printers, use a local "
                       "printer instead"),
                  WSTR("Error"), MB_OK | MB_ICONSTOP);
      return;
    }
    dialog.Hide();
    ok_ = true;
  });
}

Text ControllerPrinterSelect::SelectPrinterName(TextView DefaultPrinter) noexcept {
  return ReportFailures(WSTR("ControllerPrinterSelect::SelectPrinterName"), [&] {
    ok_ = false;
    dlgPrinterSelect& dialog = ThreadDialogs::PrinterSelect();
    QvForms::Control& box = dialog.cmbPrinter;
    if (box.ListCount() == 0)
      for (Text& name : PrinterNames()) box.AddItem(std::move(name));
    if (box.ListCount() > 0) box.SetListIndex(0);
    const Text wanted = Upper(DefaultPrinter);
    for (long i = 0; i < box.ListCount(); ++i)
      if (!wanted.empty() && Upper(box.Items()[static_cast<size_t>(i)]) == wanted) box.SetListIndex(i);
    dialog.ShowModal(*this);
    return ok_ ? box.Text() : Text(DefaultPrinter);
  });
}

}  // namespace MarrowjetUI
