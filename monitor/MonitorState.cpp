// The monitor-wide state, in one place so that it is built in this order at load and torn
// down in the reverse order at unload: the job table (deleting leftover files) first, the lock
// last.
#include "Monitor.h"

MonitorLock Lock;
std::u16string RegistryRoot;
const std::u16string MonitorName = WSTR("Quorvane");
const std::u16string PortDescription = WSTR("Redirection of print jobs");
DWORD LastPortHandle = 0;
std::map<DWORD, std::u16string> PortTable;
std::map<DWORD, JobRecord> JobTable;
