// The handles of the synchronisation service: each names one MutexObject. Named mutexes are
// shared by name within the process (names compare without regard to case, as their lock
// files do), so two handles of one name are one mutex.
#pragma once
#include "MutexObject.h"

#include <windef.h>

#include <memory>
#include <string>

namespace qv::sync {

// A new handle for the mutex called `name` (empty: a new unnamed mutex). `existed` tells
// whether the mutex was already there.
HANDLE OpenMutexHandle(const std::string& name, bool& existed);

// The mutex behind `handle`, or null when it is not one of ours.
std::shared_ptr<MutexObject> MutexOf(HANDLE handle);

// Forgets `handle`; false when it is not one of ours.
bool CloseMutexHandle(HANDLE handle);

}  // namespace qv::sync
