// Type library files (".tlb") in the platform's text form, described in oleauto.h. Linux-side
// only: installation and tests write them.
#pragma once
#include <oleauto.h>
#include <qv/typelib_record.h>

#include <string>

namespace qv {

// Writes `record` to the host file `path`, replacing it whole (written under a temporary name
// beside it, then renamed). False, leaving `path` as it was, when the record is too small
// (cbSize), its system kind unknown, a string holds a line break, or the file can't be written.
bool WriteTypeLibraryFile(const std::string& path, const TYPELIBRECORD& record);

}  // namespace qv
