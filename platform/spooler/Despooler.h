// Sends spooled jobs through their printers' ports: "FILE:" saves the job under
// spool/printed/<printer>/, a monitor's port gets it through the monitor's entry points, in the
// order a spooler calls them.
#pragma once
#include "JobDescription.h"

#include <windef.h>

namespace qv::spool {

// The monitor's WritePort is given the job in pieces of this size: each call costs the monitor
// an open, a check and a close of its file, so a large job goes in few large pieces (memory
// stays this small whatever the job's size).
inline constexpr size_t kWritePortChunk = 1024 * 1024;

DWORD DespoolJob(DWORD id, bool wait, bool retryFailed);
DWORD DespoolWaitingJobs();

// A despool group on the calling thread: a job sent in full inside it keeps its spool entry,
// and its claim, until EndDespoolGroup has committed the thread's durability group (the folders
// its outputs were renamed into, flushed once each); only then does it leave the spool. A crash
// before leaves it in the spool, to be sent again: a duplicate, never a loss. Groups nest;
// the outermost end commits. On a failed commit the jobs stay in the spool and its status is
// returned.
void BeginDespoolGroup() noexcept;
DWORD EndDespoolGroup() noexcept;
// Whether job `id` was sent by this thread's open despool group and waits for its end.
bool SentInDespoolGroup(DWORD id);
// Whether this thread has a despool group open (a job it sends now waits for the group's end).
bool InDespoolGroup();

// Makes job `id` durable in the spool if it was accepted without a flush and is still there
// (waiting while another despooler holds it); ERROR_SUCCESS also when it left the spool or was
// accepted durably. ERROR_BUSY inside a despool group that holds the job: call it after.
DWORD KeepJobInSpool(DWORD id);

// Reads job `id`'s description: the copy this thread read when it began sending the job, when
// that is the job in hand, else from the spool. False when it can't be read.
bool ReadJobInHand(DWORD id, JobDescription& job);
// Whether job `id` is the one this thread is sending (so it holds the job's claim and the job is
// in the spool), until its port reports it printed.
bool IsJobInHand(DWORD id);

// Called for the port's report that job `id` is printed in full (SetJob): removes its
// description, or, for the job in hand inside a despool group, leaves that to the group's end.
void ReleasePrintedJob(DWORD id);

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

// Takes one reprint from the budget of the job this thread is despooling and gives the reprint
// its share of what is left (`reprintBudget`); false when the budget is spent or outside a
// despool.
bool TakeReprintBudget(unsigned& reprintBudget);

}  // namespace qv::spool
