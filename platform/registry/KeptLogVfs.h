// The file layer the registry store opens its database through: the system's own, except that a
// write-ahead log already on disk is opened as it is.
//
// SQLite opens the log asking for it to be created if missing, and for any file opened that way
// it flushes the folder at the first commit, even when the file was already there: one folder
// flush more per process that writes, on top of the commit's own. Here an existing log is opened
// without the create flag, so a commit costs the log's flush alone; only a log that is really
// made (a new store, or one whose log was removed) has its folder flushed, at once and again at
// its first commit, so that a log found on disk always has a folder entry that survives a power
// cut.
#pragma once

namespace qv::registry {

// The name to open the store with; registered on first use.
const char* KeptLogVfsName();

}  // namespace qv::registry
