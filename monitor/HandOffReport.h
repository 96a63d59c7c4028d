// Where EndDocPort reports a hand-off that could not complete.
#pragma once
#include <windows.h>

namespace Quorvane {

// The Controller could not be created, or PrintFile failed. The job is still marked printed
// and its file deleted.
void ReportHandOffFailure(HRESULT result);

}  // namespace Quorvane
