// Where EndDocPort reports a hand-off that could not complete.
#pragma once
#include <windows.h>

namespace Quorvane {

// The Controller could not be created (interfaceId IID_NULL), or PrintFile failed
// (IID__Controller). The job is still marked printed and its file deleted.
void ReportHandOffFailure(HRESULT result, const IID& interfaceId);

}  // namespace Quorvane
