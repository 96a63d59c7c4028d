#include "PrinterHandle.h"

#include <string>
#include "win/WideString.h"

#include <qv/macros.h>

namespace Quorvane {

PrinterHandle::~PrinterHandle() { Close(); }

HRESULT PrinterHandle::Open(LPCWSTR printerName) {
  Close();
  win::WideString name = printerName ? printerName : WSTR("");
  WCHAR datatype[] = WSTR("RAW");
  PRINTER_DEFAULTSW defaults{datatype, nullptr, PRINTER_ALL_ACCESS};
  HANDLE handle = nullptr;
  if (!OpenPrinterW(name.data(), &handle, &defaults)) {
    handle_ = nullptr;
    // Not HRESULT_FROM_WIN32: a last error of 0 must still make a failure (0x80070000).
    return static_cast<HRESULT>(0x80070000u | GetLastError());
  }
  handle_ = handle;
  return S_OK;
}

void PrinterHandle::Close() {
  if (handle_) ClosePrinter(handle_);
  handle_ = nullptr;
}

}  // namespace Quorvane
