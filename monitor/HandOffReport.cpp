#include "HandOffReport.h"

// The monitor keeps no error log yet. When it does, this writes the failure there under the
// source "LocalEndDocPort", without a message box: no one sits at the spooler. Until then the
// failure is dropped here and nowhere else.
void ReportHandOffFailure(HRESULT, const IID&) {}
