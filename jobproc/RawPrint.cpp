#include "RawPrint.h"

#include <array>

#include "ObjectError.h"
#include "modError.h"
#include "win/UniqueResource.h"

#include <qv/macros.h>

namespace MarrowjetUI {
namespace {

// The spooler steps of one raw document on one printer handle. What was started is undone in
// reverse order when the session goes: the page ended, the document ended, the printer closed.
class PrinterSession {
 public:
  PrinterSession() = default;
  ~PrinterSession() {
    if (pageStarted_) EndPagePrinter(printer_);
    if (documentStarted_) EndDocPrinter(printer_);
    if (printer_) ClosePrinter(printer_);
  }
  PrinterSession(const PrinterSession&) = delete;
  PrinterSession& operator=(const PrinterSession&) = delete;

  bool Open(const std::string& printerName) {
    std::string name = printerName;
    std::string datatype = "RAW";
    PRINTER_DEFAULTSA defaults{datatype.data(), nullptr, PRINTER_ACCESS_USE};
    HANDLE printer = nullptr;
    if (!OpenPrinterA(name.data(), &printer, &defaults)) return false;
    printer_ = printer;
    return true;
  }

  bool StartDocument(const std::string& documentName) {
    std::string name = documentName;
    std::string datatype = "RAW";
    DOC_INFO_1A info{name.data(), nullptr, datatype.data()};
    documentStarted_ = StartDocPrinterA(printer_, 1, reinterpret_cast<LPBYTE>(&info)) != 0;
    return documentStarted_;
  }

  bool StartPage() {
    pageStarted_ = StartPagePrinter(printer_) != FALSE;
    return pageStarted_;
  }

  bool Write(const void* data, DWORD size) {
    DWORD written = 0;  // what the spooler reports taking is not examined
    return WritePrinter(printer_, const_cast<void*>(data), size, &written) != FALSE;
  }

  // Data that could not be read whole is not handed over as a document: the document is left
  // unended, and closing the printer drops it.
  void AbandonDocument() { documentStarted_ = false; }

 private:
  HANDLE printer_ = nullptr;
  bool documentStarted_ = false;
  bool pageStarted_ = false;
};

// A file opened for reading, closed when it goes.
class InputFile {
 public:
  explicit InputFile(TextView name)
      : handle_(CreateFileA(ToCodePage(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr)) {
    if (!handle_) RaiseSystemError(static_cast<LONG>(GetLastError()));
  }

  // Fills `buffer` from the file until it is full or the file ends; the count of bytes filled.
  DWORD Fill(BYTE* buffer, DWORD size) {
    DWORD filled = 0;
    while (filled < size) {
      DWORD got = 0;
      if (!ReadFile(handle_.Get(), buffer + filled, size - filled, &got, nullptr))
        RaiseSystemError(static_cast<LONG>(GetLastError()));
      if (got == 0) break;
      filled += got;
    }
    return filled;
  }

 private:
  win::UniqueHandle handle_;
};

LONG LastSpoolerError() { return static_cast<LONG>(GetLastError()); }

// Opens the printer and starts the document and its page; on failure `lastError` takes the
// spooler's code.
bool Begin(PrinterSession& session, TextView printer, TextView document, LONG& lastError) {
  if (session.Open(ToCodePage(printer)) && session.StartDocument(ToCodePage(document)) && session.StartPage())
    return true;
  lastError = LastSpoolerError();
  return false;
}

}  // namespace

HRESULT RawPrint::GetError(LONG* result) {
  if (!result) return E_POINTER;
  *result = lastError_;
  return S_OK;
}

HRESULT RawPrint::PrintString(BSTR* strData, VARIANT_BOOL* result) {
  if (!strData || !result) return E_POINTER;
  *result = VARIANT_FALSE;
  ReportFailures(WSTR("RawPrint::PrintString"),
                 [&] { *result = SendText(FromBstr(*strData)) ? VARIANT_TRUE : VARIANT_FALSE; });
  return S_OK;
}

HRESULT RawPrint::PrintFile(BSTR* strFileName, VARIANT_BOOL* result) {
  if (!strFileName || !result) return E_POINTER;
  *result = VARIANT_FALSE;
  ReportFailures(WSTR("RawPrint::PrintFile"),
                 [&] { *result = SendFile(FromBstr(*strFileName)) ? VARIANT_TRUE : VARIANT_FALSE; });
  return S_OK;
}

HRESULT RawPrint::put_DocumentName(BSTR value) { return CopyFromIn(value, documentName_); }

HRESULT RawPrint::get_DocumentName(BSTR* value) { return CopyToOut(documentName_, value); }

HRESULT RawPrint::put_PrinterName(BSTR value) { return CopyFromIn(value, printerName_); }

HRESULT RawPrint::get_PrinterName(BSTR* value) { return CopyToOut(printerName_, value); }

bool RawPrint::SendFile(TextView fileName) noexcept {
  lastError_ = 0;
  return win::ExceptionBarrier([&] {
    PrinterSession session;
    if (!Begin(session, printerName_, documentName_, lastError_)) return false;
    try {
      InputFile file(fileName);
      std::array<BYTE, kChunkSize> buffer;
      for (;;) {
        const DWORD filled = file.Fill(buffer.data(), kChunkSize);
        if (filled > 0 && !session.Write(buffer.data(), filled)) {
          lastError_ = LastSpoolerError();
          return false;
        }
        if (filled < kChunkSize) return true;
      }
    } catch (...) {
      session.AbandonDocument();
      throw;
    }
  }, [&](bool) { return Failed(WSTR("RawPrint::PrintFile")); });
}

bool RawPrint::SendText(TextView data) noexcept {
  lastError_ = 0;
  return win::ExceptionBarrier([&] {
    PrinterSession session;
    if (!Begin(session, printerName_, documentName_, lastError_)) return false;
    // The text in the 8-bit code page, all of its bytes: a character outside ASCII takes more
    // than one.
    const std::string bytes = ToCodePage(data);
    if (!session.Write(bytes.data(), static_cast<DWORD>(bytes.size()))) {
      lastError_ = LastSpoolerError();
      return false;
    }
    return true;
  }, [&](bool) { return Failed(WSTR("RawPrint::PrintString")); });
}

bool RawPrint::Failed(TextView source) noexcept {
  lastError_ = 0;
  ReportCaughtError(source);
  return false;
}

}  // namespace MarrowjetUI
