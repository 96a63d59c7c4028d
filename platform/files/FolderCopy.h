// The copy at the heart of CopyFile: into an open folder, under a name in that folder.
#pragma once
#include <windef.h>

#include <string>

namespace qv::files {

// Copies the regular file at host path `source` into the folder open as `folderFd`, under
// `leaf` (one element, no "/"). Staged under a hidden name in that folder, flushed, renamed
// into place, the folder synced. Returns 0 or a Win32 status; the old file stays on failure.
DWORD CopyIntoFolder(const std::string& source, int folderFd, const std::string& leaf, bool failIfExists);

}  // namespace qv::files
