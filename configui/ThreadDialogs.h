// The selection and file path dialogs of the calling thread: made on first use, kept hidden
// between uses, and released when the port dialog that used them closes, so that the next
// port dialog reads the printer list afresh.
#pragma once
#include "dlgActionSelect.h"
#include "dlgFilePath.h"
#include "dlgPrinterSelect.h"

namespace MarrowjetUI::ThreadDialogs {

dlgActionSelect& ActionSelect();
dlgPrinterSelect& PrinterSelect();
dlgFilePath& FilePath();
void Release() noexcept;

}  // namespace MarrowjetUI::ThreadDialogs
