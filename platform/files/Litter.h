// What a process that died mid-way leaves behind: a copy's staging file in the destination's
// folder, a temporary job file in the temporary folder. Each is swept once its owner is gone
// (no process holds it) and it has not been written for a while.
#pragma once
#include <string>

namespace qv::files {

// How long a file must have gone unwritten before it may be swept.
inline constexpr int kLitterMinutes = 10;

// Staging files (".qvcopy-<pid>-...") in the open folder whose process no longer runs. Looks at
// a folder at most once every few minutes per process.
void SweepStagingFiles(int folderFd);

// A temporary file this process created and owns until it deletes it: held with a shared lock,
// which ends with the process.
void HoldTemporaryFile(const std::string& hostPath, int fd);
void ReleaseTemporaryFile(const std::string& hostPath);

// Temporary files "<prefix>*.tmp" in the host folder that nobody holds.
void SweepTemporaryFiles(const std::string& hostFolder, const std::string& prefix);

}  // namespace qv::files
