// Asks the user for the printer a reprint action sends its jobs to: a printer of the print
// system, picked from the list, or any name typed. Created fresh for each question; the
// dialog is the thread's, reused, and its list is read once.
#pragma once
#include <vector>

#include "Text.h"

namespace MarrowjetUI {

class ControllerPrinterSelect {
 public:
  void OnCancel() noexcept;
  void OnOk() noexcept;
  // The chosen name, or `DefaultPrinter` when the user cancelled; empty when it failed.
  Text SelectPrinterName(TextView DefaultPrinter) noexcept;

 private:
  bool ok_ = false;
};

// The device names of the print system's printers, in its order.
std::vector<Text> PrinterNames();

}  // namespace MarrowjetUI
