// The process's table of open printers: what each printer handle stands for. Handles are
// numbers handed out once and never reused, so a stale handle can't reach another printer.
#pragma once
#include <windef.h>

#include <string>

namespace qv::spool {

struct OpenPrinterEntry {
  std::string printer;  // the printer's name as it was created
  ACCESS_MASK access = 0;
};

class PrinterHandles {
 public:
  static HANDLE Add(const OpenPrinterEntry& entry);
  // False for a handle that is not open.
  static bool Find(HANDLE handle, OpenPrinterEntry& entry);
  static bool Remove(HANDLE handle);
};

}  // namespace qv::spool
