#include "HandOffReport.h"

#include "ErrorHandler.h"

#include <qv/macros.h>

namespace Quorvane {

// Logged under EndDocPort's own name, without a message box: no one sits at the spooler.
void ReportHandOffFailure(HRESULT result) { ErrorHandler(result, WSTR("LocalEndDocPort"), false, nullptr); }

}  // namespace Quorvane
