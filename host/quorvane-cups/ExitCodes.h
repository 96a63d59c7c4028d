// What the backend's exit code tells the scheduler (the values of CUPS's backend API).
#pragma once

namespace qv::backend {

enum ExitCode : int {
  kOk = 0,      // the port's script ran clean
  kFailed = 1,  // the job failed: the queue's error policy keeps it
  kStop = 4,    // the installation is missing or broken: the queue stops
};

}  // namespace qv::backend
