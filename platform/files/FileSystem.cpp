// Names on disk: DeleteFile, CreateDirectory, GetFileAttributes.
#include <winbase.h>

#include "ApiSupport.h"
#include <qv/diagnostics.h>
#include <qv/durability_group.h>
#include "ErrnoMapping.h"
#include "Litter.h"
#include "UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using qv::files::ErrorForPath;
using qv::files::Fail;
using qv::files::Guarded;
using qv::files::HostPathFromArgument;

namespace {

template <class Char>
BOOL DeleteFileT(const Char* fileName) {
  return Guarded(FALSE, [&]() -> BOOL {
    std::string host;
    if (!HostPathFromArgument(fileName, host)) return FALSE;
    // A folder is refused (EISDIR -> access denied); a symbolic link itself is removed.
    if (unlink(host.c_str()) != 0) return Fail(ErrorForPath(errno, host), FALSE);
    qv::files::ReleaseTemporaryFile(host);
    return TRUE;
  });
}

// Guards a new folder's entry in its parent: a copy into the folder flushes the folder, not the
// parent, and a folder lost in a power cut would take the copies in it along.
void FlushParentFolder(const std::string& host) {
  qv::files::UniqueFd folder(open(qv::files::ParentFolder(host).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Valid()) qv::FlushFolderOrDefer(folder.Get());
}

template <class Char>
BOOL CreateDirectoryT(const Char* pathName) {
  return Guarded(FALSE, [&]() -> BOOL {
    std::string host;
    if (!qv::files::NotedHostPathFromArgument(pathName, host)) return FALSE;
    if (mkdir(host.c_str(), 0777) == 0) {  // less umask, as for any new folder
      FlushParentFolder(host);
      return TRUE;
    }
    DWORD status = 0;
    switch (errno) {
      case EEXIST: status = ERROR_ALREADY_EXISTS; break;  // a file of that name too
      case ENOENT: status = ERROR_PATH_NOT_FOUND; break;  // only the parent can be missing
      default: status = qv::files::Win32ErrorFromErrno(errno); break;
    }
    // The folder a port's script could not make, for the person who has to fix it.
    qv::NoteFailedHostPath(host, status);
    return Fail(status, FALSE);
  });
}

// Attributes of what the name leads to; a symbolic link adds REPARSE_POINT, and a link whose
// target is gone still exists, as nothing but a link.
DWORD AttributesOnHost(const std::string& host) {
  struct stat link;
  if (lstat(host.c_str(), &link) != 0) return Fail(ErrorForPath(errno, host), INVALID_FILE_ATTRIBUTES);
  DWORD linkBit = S_ISLNK(link.st_mode) ? FILE_ATTRIBUTE_REPARSE_POINT : 0;
  struct stat target;
  if (stat(host.c_str(), &target) != 0) return linkBit ? linkBit : FILE_ATTRIBUTE_NORMAL;
  DWORD attributes = linkBit;
  if (S_ISDIR(target.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if (qv::files::IsReadOnlyMode(target.st_mode)) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

template <class Char>
DWORD GetFileAttributesT(const Char* fileName) {
  return Guarded(INVALID_FILE_ATTRIBUTES, [&]() -> DWORD {
    std::string host;
    if (!HostPathFromArgument(fileName, host)) return INVALID_FILE_ATTRIBUTES;
    return AttributesOnHost(host);
  });
}

}  // namespace

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) { return DeleteFileT(lpFileName); }
BOOL WINAPI DeleteFileA(LPCSTR lpFileName) { return DeleteFileT(lpFileName); }

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  return CreateDirectoryT(lpPathName);
}
BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  return CreateDirectoryT(lpPathName);
}

DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) { return GetFileAttributesT(lpFileName); }
DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) { return GetFileAttributesT(lpFileName); }
