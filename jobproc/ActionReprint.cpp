#include "ActionReprint.h"

#include "ControllerPrinterSelect.h"
#include "JobCalls.h"
#include "ObjectError.h"
#include "RawPrint.h"
#include "modError.h"
#include "win/ComPtr.h"

#include <qv/macros.h>

namespace MarrowjetUI {
namespace {

constexpr TextView kPrefix = WSTR("Reprint: ");

win::ComPtr<_RawPrint> NewRawPrint() {
  win::ComPtr<_RawPrint> raw;
  const HRESULT result = RawPrint::CreateInstance(IID__RawPrint, raw.Out());
  if (FAILED(result)) RaiseSystemError(result);
  return raw;
}

void Check(HRESULT result) {
  if (FAILED(result)) RaiseSystemError(result);
}

Text DocumentNameOf(_Job* job) {
  if (!job) RaiseError(kErrorObjectNotSet, WSTR("Object variable or With block variable not set"));
  Bstr name;
  Check(job->get_DocumentName(name.Out()));
  return name.ToText();
}

}  // namespace

void ActionReprint::Run(TextView TempFilePath, _Job* JobInfo, DATE) noexcept {
  ReportFailures(WSTR("ActionReprint::Run"), [&] {
    // The clock is read here: a "?SN?" in the name issues a new number at every reprint.
    const Text printer = ConvertTemplate(JobInfo, printerName_, PresentDate());
    const win::ComPtr<_RawPrint> raw = NewRawPrint();
    Bstr documentName(DocumentNameOf(JobInfo));
    Check(raw->put_DocumentName(documentName.Get()));
    Bstr printerName(printer);
    Check(raw->put_PrinterName(printerName.Get()));
    Bstr fileName(TempFilePath);
    BSTR fileArgument = fileName.Get();
    VARIANT_BOOL printed = VARIANT_FALSE;
    Check(raw->PrintFile(&fileArgument, &printed));
    if (printed) return;
    LONG error = 0;
    Check(raw->GetError(&error));
    if (error == ERROR_PRINTQ_FULL)
      RaiseError(kErrorReprintLimit, WSTR("Too many reprints in a row, not printed on ") + printer);
    if (error == ERROR_NOT_ENOUGH_QUOTA)
      RaiseError(kErrorReprintLimit, WSTR("Too many reprints of one job, not printed on ") + printer);
  });
}

Text ActionReprint::AsString() noexcept {
  return ReportFailures(WSTR("ActionReprint::AsString"), [&] { return Text(kPrefix) + printerName_; });
}

void ActionReprint::LoadFromString(TextView Cmd) noexcept {
  ReportFailures(WSTR("ActionReprint::LoadFromString"), [&] {
    // The printer's name follows the prefix; the prefix's blank and any others around it go.
    printerName_ = Cmd.size() < kPrefix.size() ? Text() : TrimBlanks(Cmd.substr(kPrefix.size() - 1));
  });
}

void ActionReprint::ConfigureUI() noexcept {
  ReportFailures(WSTR("ActionReprint::ConfigureUI"), [&] {
    // An empty answer leaves the name as it is.
    ControllerPrinterSelect select;
    Text chosen = select.SelectPrinterName(printerName_);
    if (!chosen.empty()) printerName_ = std::move(chosen);
  });
}

}  // namespace MarrowjetUI
