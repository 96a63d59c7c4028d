// Writing below a folder that an administrator named, with the rest of the path taken from a
// job. The folder itself is resolved as any path is (it may be, or lead through, a symbolic
// link); every element of the relative part is then walked one by one from that folder and
// never through a symbolic link, so a name chosen by whoever prints can't steer the write
// elsewhere, even if someone plants a link in the tree meanwhile.
//
// Only Windows types cross here, so the job processor stays portable: on Windows the same
// calls open each element with FILE_FLAG_OPEN_REPARSE_POINT and refuse reparse points.
#pragma once
#include <windef.h>
#include <qv/macros.h>

// The relative part: elements separated by "\" or "/" (repeated separators count as one).
// Refused with ERROR_INVALID_NAME: "." or ".." and a NUL. An element "Z:" is a name like any
// other below the folder, never a drive.
// An element that is a symbolic link fails with ERROR_CANT_RESOLVE_FILENAME.

// Creates the last element of `relativePath` as a folder below `folder`; the elements before it
// must exist. ERROR_ALREADY_EXISTS when anything (a link too) has that name.
QV_EXPORT_C BOOL WINAPI QvCreateDirectoryBelowA(LPCSTR folder, LPCSTR relativePath);

// CopyFileA with the destination named by `folder` and `relativePath`, whose last element is
// the file: staged in the destination's folder, flushed, then renamed over the destination
// (a link there is replaced, never followed).
QV_EXPORT_C BOOL WINAPI QvCopyFileBelowA(LPCSTR existingFileName, LPCSTR folder, LPCSTR relativePath,
                                         BOOL failIfExists);
