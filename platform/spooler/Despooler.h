// Sends spooled jobs through their printers' ports: "FILE:" saves the job under
// spool/printed/<printer>/, a monitor's port gets it through the monitor's entry points, in the
// order a spooler calls them.
#pragma once
#include <windef.h>

namespace qv::spool {

// The monitor's WritePort is given the job in pieces of this size.
inline constexpr size_t kWritePortChunk = 64 * 1024;

DWORD DespoolJob(DWORD id, bool wait, bool retryFailed);
DWORD DespoolWaitingJobs();

// Whether this thread is inside a despool (a port is taking a job right now). Jobs printed from
// inside a job are left waiting then, and sent once the running job has ended.
bool InsideDespool();

// Whether failures were reported on this thread while it despools job `id` (a port's script
// that could not write its file). The port still reports such a job printed; its description
// is kept then, so that the job stays in the spool, marked failed.
bool DespoolReportedFailures(DWORD id);

// The hop count of the job this thread is despooling right now; false outside a despool. A job
// printed from inside it is that job's data printed again, one hop further.
bool DespoolingJobHops(unsigned& hops);

}  // namespace qv::spool
