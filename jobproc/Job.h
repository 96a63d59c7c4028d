// The record of one finished job: its properties, the expansion of field codes in templates
// (Convert) and the serial-number counter (GetSerialNumber).
#pragma once
#include <MarrowjetInterfaces.h>

#include "DispatchObject.h"
#include "Text.h"

namespace MarrowjetUI {

// Where the first field code of `source` starts (npos when it has none): the text before it is
// the template's literal text, the same in every converted path.
size_t FirstFieldCode(TextView source) noexcept;

class Job final : public DispatchObject<Job, _Job, IID__Job> {
 public:
  HRESULT STDMETHODCALLTYPE put_Size(LONG value) override;
  HRESULT STDMETHODCALLTYPE get_Size(LONG* value) override;
  HRESULT STDMETHODCALLTYPE put_Priority(LONG value) override;
  HRESULT STDMETHODCALLTYPE get_Priority(LONG* value) override;
  HRESULT STDMETHODCALLTYPE put_TotalPages(LONG value) override;
  HRESULT STDMETHODCALLTYPE get_TotalPages(LONG* value) override;
  HRESULT STDMETHODCALLTYPE put_DriverName(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_DriverName(BSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_DataType(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_DataType(BSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_NotifyName(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_NotifyName(BSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_DocumentName(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_DocumentName(BSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_UserName(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_UserName(BSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_MachineName(BSTR value) override;
  HRESULT STDMETHODCALLTYPE get_MachineName(BSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_PrinterName(BSTR value) override;
  HRESULT STDMETHODCALLTYPE GetSerialNumber(LONG* result) override;
  HRESULT STDMETHODCALLTYPE get_PrinterName(BSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_ID(LONG value) override;
  HRESULT STDMETHODCALLTYPE get_ID(LONG* value) override;
  HRESULT STDMETHODCALLTYPE Convert(BSTR* Source, DATE* DateNow, BSTR* result) override;

  // The next serial number, stored before it is returned; 0 when none could be issued (logged).
  LONG NextSerialNumber() noexcept;

 private:
  Text Expand(TextView source, DATE dateNow);
  bool AppendFieldValue(TextView code, const SYSTEMTIME& now, Text& result);

  LONG id_ = 0;
  Text printerName_;
  Text machineName_;
  Text userName_;
  Text documentName_;
  Text notifyName_;
  Text dataType_;
  Text driverName_;
  LONG totalPages_ = 0;
  LONG priority_ = 0;
  LONG size_ = 0;
};

}  // namespace MarrowjetUI
