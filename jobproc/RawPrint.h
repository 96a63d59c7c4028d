// Raw printing: a file or a text sent unchanged to a named printer as one document of data type
// "RAW", through the spooler. A spooler refusal is no failure of the object: the call answers
// false and GetError gives the spooler's error code. Anything else that goes wrong is logged.
#pragma once
#include <MarrowjetInterfaces.h>

#include "DispatchObject.h"
#include "Text.h"

namespace MarrowjetUI {

class RawPrint final : public DispatchObject<RawPrint, _RawPrint, IID__RawPrint> {
 public:
  // The file is read through one buffer of this size: one WritePrinter per full buffer.
  static constexpr DWORD kChunkSize = 4096;

  HRESULT STDMETHODCALLTYPE GetError(LONG* result) override;
  HRESULT STDMETHODCALLTYPE PrintString(BSTR* strData, VARIANT_BOOL* result) override;
  HRESULT STDMETHODCALLTYPE PrintFile(BSTR* strFileName, VARIANT_BOOL* result) override;
  HRESULT STDMETHODCALLTYPE put_DocumentName(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_DocumentName(BSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_PrinterName(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_PrinterName(BSTR* value) override;

  // True when the printer, the document and the page were started and all the data was taken.
  bool SendFile(TextView fileName) noexcept;
  bool SendText(TextView data) noexcept;

 private:
  // The handler of a send that ended in an exception: reported under `source`, and no spooler
  // code is left for GetError. Call only inside a catch block; false.
  bool Failed(TextView source) noexcept;

  Text printerName_;
  Text documentName_;
  LONG lastError_ = 0;  // the spooler's code of the call that failed last
};

}  // namespace MarrowjetUI
