#include "JobCalls.h"

#include "ObjectError.h"

#include <qv/macros.h>

namespace MarrowjetUI {

DATE PresentDate() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  now.wMilliseconds = 0;
  DATE date = 0;
  if (!SystemTimeToVariantTime(&now, &date)) RaiseError(kErrorInvalidArgument, WSTR("Invalid procedure call or argument"));
  return date;
}

Text ConvertTemplate(_Job* job, TextView source, DATE dateNow) {
  if (!job) RaiseError(kErrorObjectNotSet, WSTR("Object variable or With block variable not set"));
  Bstr sourceText(source);
  BSTR sourceArgument = sourceText.Get();
  Bstr converted;
  const HRESULT result = job->Convert(&sourceArgument, &dateNow, converted.Out());
  if (FAILED(result)) RaiseSystemError(result);
  return converted.ToText();
}

}  // namespace MarrowjetUI
