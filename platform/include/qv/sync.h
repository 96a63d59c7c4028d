// The synchronisation service seen from the Linux side of the platform.
#pragma once
#include <windef.h>

namespace qv {

// Closes `handle` when it is one of the synchronisation service's own (a mutex from
// CreateMutexW) and returns true; returns false, touching nothing, for any other handle.
// CloseHandle asks this first.
bool CloseSyncHandle(HANDLE handle);

}  // namespace qv
