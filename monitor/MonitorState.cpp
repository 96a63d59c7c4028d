// The monitor-wide state, in one place so that it is built in this order at load and torn
// down in the reverse order at unload: the job table (deleting leftover files) first, the lock
// last.
#include "Monitor.h"
#include "win/WideString.h"

#include <qv/macros.h>

namespace Quorvane {

MonitorLock Lock;
win::WideString RegistryRoot;
const win::WideString MonitorName = WSTR("Quorvane");
const win::WideString PortDescription = WSTR("Redirection of print jobs");
DWORD LastPortHandle = 0;
std::map<DWORD, win::WideString> PortTable;
std::map<DWORD, JobRecord> JobTable;

}  // namespace Quorvane
