// One open spooler printer handle, closed when the object goes.
#pragma once
#include <windows.h>

namespace Quorvane {

class PrinterHandle {
 public:
  PrinterHandle() = default;
  ~PrinterHandle();
  PrinterHandle(const PrinterHandle&) = delete;
  PrinterHandle& operator=(const PrinterHandle&) = delete;

  // Opens the printer for raw data with all access, closing any handle held before. Returns
  // S_OK, or 0x80070000 with the system error code when the printer can't be opened.
  HRESULT Open(LPCWSTR printerName);
  void Close();

  // Null when no printer is open.
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace Quorvane
