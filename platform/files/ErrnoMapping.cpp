#include "ErrnoMapping.h"

#include <winerror.h>

#include <cerrno>
#include <sys/stat.h>

namespace qv::files {

DWORD Win32ErrorFromErrno(int error) {
  switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case ELOOP: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY: return ERROR_BUSY;
    case EAGAIN: return ERROR_SHARING_VIOLATION;
    case EIO: return ERROR_GEN_FAILURE;
    case EPIPE: return ERROR_BROKEN_PIPE;
    case ENODEV:
    case ENXIO: return ERROR_INVALID_DRIVE;
    case ENOTSUP: return ERROR_NOT_SUPPORTED;
    case ENOSYS: return ERROR_CALL_NOT_IMPLEMENTED;
    default: return ERROR_GEN_FAILURE;
  }
}

std::string ParentFolder(const std::string& hostPath) {
  std::string::size_type end = hostPath.size();
  while (end > 1 && hostPath[end - 1] == '/') --end;  // "a/b/" names b
  std::string::size_type slash = hostPath.rfind('/', end - 1);
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return hostPath.substr(0, slash);
}

DWORD ErrorForPath(int error, const std::string& hostPath) {
  if (error != ENOENT) return Win32ErrorFromErrno(error);
  struct stat folder;
  if (stat(ParentFolder(hostPath).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
    return ERROR_PATH_NOT_FOUND;
  return ERROR_FILE_NOT_FOUND;
}

}  // namespace qv::files
