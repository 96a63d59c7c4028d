// Cancelling a job: the scheduler sends SIGTERM. The handler only notes it; the job stops at
// the next safe point (between two pieces of data, or once a running script has finished), so
// its temporary file is always removed and no script ever runs on part of a job.
#pragma once

namespace qv::backend {

void WatchForCancel();
bool Cancelled();

}  // namespace qv::backend
