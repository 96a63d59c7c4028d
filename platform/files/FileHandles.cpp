// File handles: CreateFile, SetFilePointer, GetFileSize, ReadFile, WriteFile, FlushFileBuffers,
// CloseHandle (for every kind of handle). Share modes are not enforced: every caller here opens, uses and closes a file
// within one call, and the host has no mandatory locks to play them with.
#include <winbase.h>

#include "ApiSupport.h"
#include "ErrnoMapping.h"
#include "HandleTable.h"
#include "OpenFile.h"

#include <qv/diagnostics.h>
#include <qv/sync.h>

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <string>

using qv::files::ErrorForPath;
using qv::files::Fail;
using qv::files::Guarded;
using qv::files::HandleTable;
using qv::files::OpenFile;
using qv::files::Win32ErrorFromErrno;

namespace {

constexpr DWORD kErrorNegativeSeek = 131;  // ERROR_NEGATIVE_SEEK

// Opens `host` for CreateFile: creation as `disposition` asks, and whether the file was there
// before (OPEN_ALWAYS and CREATE_ALWAYS report that through the last error).
int OpenForDisposition(const std::string& host, int flags, mode_t mode, DWORD disposition,
                       bool& existed) {
  existed = disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING;
  switch (disposition) {
    case CREATE_NEW:
      return open(host.c_str(), flags | O_CREAT | O_EXCL, mode);
    case OPEN_EXISTING:
      return open(host.c_str(), flags);
    case TRUNCATE_EXISTING:
      return open(host.c_str(), flags | O_TRUNC);
    default:
      break;
  }
  // OPEN_ALWAYS, CREATE_ALWAYS: open what is there (the common case: a job's file appended to
  // again and again), else create it exclusively; a file that appears or vanishes between the
  // two steps sends us round again.
  int truncate = disposition == CREATE_ALWAYS ? O_TRUNC : 0;
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = open(host.c_str(), flags | truncate);
    if (fd >= 0 || errno != ENOENT) {
      existed = true;
      return fd;
    }
    fd = open(host.c_str(), flags | O_CREAT | O_EXCL, mode);
    if (fd >= 0 || errno != EEXIST) {
      existed = false;
      return fd;
    }
  }
  errno = ENOENT;  // a dangling link, or a name that keeps vanishing
  return -1;
}

HANDLE CreateFileOnHost(const std::string& host, DWORD access, DWORD disposition,
                        DWORD flagsAndAttributes) {
  bool canRead = access & (GENERIC_READ | GENERIC_ALL);
  bool appendOnly = (access & FILE_APPEND_DATA) && !(access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA));
  bool canWrite = appendOnly || (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA));
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
      (disposition == TRUNCATE_EXISTING && !canWrite))
    return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);

  // A reparse point is opened itself on Windows; here a symbolic link is simply not followed.
  const int noFollow = (flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) ? O_NOFOLLOW : 0;
  int flags = noFollow | O_CLOEXEC | (canRead && canWrite ? O_RDWR : canWrite ? O_WRONLY : O_RDONLY) | (appendOnly ? O_APPEND : 0);
  mode_t mode = (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;  // less umask
  bool existed = false;
  qv::files::UniqueFd fd(OpenForDisposition(host, flags, mode, disposition, existed));
  if (!fd.Valid()) return Fail(ErrorForPath(errno, host), INVALID_HANDLE_VALUE);

  // Windows opens no folder as a file. Only a read-only open() of one succeeds here: an open
  // for writing has already failed with EISDIR.
  if (!canWrite) {
    struct stat info;
    if (fstat(fd.Get(), &info) != 0) return Fail(Win32ErrorFromErrno(errno), INVALID_HANDLE_VALUE);
    if (S_ISDIR(info.st_mode)) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  }

  auto file = std::make_shared<OpenFile>(fd.Get(), canRead, canWrite, host);
  fd.Release();  // the OpenFile owns it now
  HANDLE handle = HandleTable::Instance().Add(std::move(file));
  bool reportsExisting = disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS;
  SetLastError(reportsExisting && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

// The host path of the name this thread opened last, when that name was a host path already
// (no drive to look up): a job's file is opened again for every write.
template <class Char>
struct LastOpened {
  std::basic_string<Char> name;
  std::string host;
};

template <class Char>
bool MapOpenedName(const Char* fileName, std::string& host) {
  thread_local LastOpened<Char> last;
  if (fileName && fileName[0] == Char('/') && !last.name.empty() && last.name == fileName) {
    host = last.host;
    return true;
  }
  if (!qv::files::HostPathFromArgument(fileName, host)) return false;
  if (fileName && fileName[0] == Char('/')) {
    last.name = fileName;
    last.host = host;
  }
  return true;
}

template <class Char>
HANDLE CreateFileT(const Char* fileName, DWORD access, DWORD disposition, DWORD flags) {
  return Guarded(INVALID_HANDLE_VALUE, [&] {
    std::string host;
    if (!MapOpenedName(fileName, host)) return INVALID_HANDLE_VALUE;
    return CreateFileOnHost(host, access, disposition, flags);
  });
}

std::shared_ptr<OpenFile> FindFile(HANDLE handle) {
  return HandleTable::Instance().FindAs<OpenFile>(handle);
}

}  // namespace

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                          LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/) {
  return CreateFileT(lpFileName, dwDesiredAccess, dwCreationDisposition, dwFlagsAndAttributes);
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                          LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/) {
  return CreateFileT(lpFileName, dwDesiredAccess, dwCreationDisposition, dwFlagsAndAttributes);
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
  return Guarded(INVALID_SET_FILE_POINTER, [&]() -> DWORD {
    auto file = FindFile(hFile);
    if (!file) return Fail(ERROR_INVALID_HANDLE, INVALID_SET_FILE_POINTER);
    // With a high part the distance is one signed 64-bit number, else a signed 32-bit one.
    int64_t distance = lDistanceToMove;
    if (lpDistanceToMoveHigh)
      distance = static_cast<int64_t>(
          (static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
          static_cast<uint32_t>(lDistanceToMove));

    // Moving forward from the end with a high part to report into needs no checks: one call.
    if (dwMoveMethod == FILE_END && distance >= 0 && lpDistanceToMoveHigh) {
      const off_t position = lseek(file->Fd(), distance, SEEK_END);
      if (position < 0) return Fail(Win32ErrorFromErrno(errno), INVALID_SET_FILE_POINTER);
      *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<int64_t>(position) >> 32);
      SetLastError(ERROR_SUCCESS);
      return static_cast<DWORD>(position);
    }

    int64_t base = 0;
    if (dwMoveMethod == FILE_CURRENT) {
      base = lseek(file->Fd(), 0, SEEK_CUR);
    } else if (dwMoveMethod == FILE_END) {
      struct stat info;
      base = fstat(file->Fd(), &info) == 0 ? info.st_size : -1;
    } else if (dwMoveMethod != FILE_BEGIN) {
      return Fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    }
    if (base < 0) return Fail(Win32ErrorFromErrno(errno), INVALID_SET_FILE_POINTER);

    int64_t position = 0;
    if (__builtin_add_overflow(base, distance, &position))
      return Fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    if (position < 0) return Fail(kErrorNegativeSeek, INVALID_SET_FILE_POINTER);
    // Without a high part the caller could not read a position beyond 32 bits.
    if (!lpDistanceToMoveHigh && position > static_cast<int64_t>(0xFFFFFFFFu))
      return Fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    if (lseek(file->Fd(), position, SEEK_SET) < 0)
      return Fail(Win32ErrorFromErrno(errno), INVALID_SET_FILE_POINTER);

    if (lpDistanceToMoveHigh) *lpDistanceToMoveHigh = static_cast<LONG>(position >> 32);
    SetLastError(ERROR_SUCCESS);  // tells a low part of 0xFFFFFFFF from a failure
    return static_cast<DWORD>(position);
  });
}

namespace {

// What GetFileInformationByHandle reports (no times: callers here want a file's identity, size
// and kind). Asked of the kernel without the change time: a file whose change time was read gets
// a fine-grained new one, written to its inode, on its next write, and the monitor reads the
// identity of a job's file before each of its appends.
bool StatWithoutTimes(int fd, struct stat& info) {
  struct statx extended;
  constexpr unsigned kWanted = STATX_TYPE | STATX_MODE | STATX_NLINK | STATX_INO | STATX_SIZE;
  if (statx(fd, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, kWanted, &extended) != 0)
    return errno == ENOSYS && fstat(fd, &info) == 0;  // a kernel without statx
  if ((extended.stx_mask & kWanted) != kWanted) return fstat(fd, &info) == 0;
  info = {};
  info.st_mode = extended.stx_mode;
  info.st_nlink = extended.stx_nlink;
  info.st_ino = extended.stx_ino;
  info.st_size = static_cast<off_t>(extended.stx_size);
  info.st_dev = makedev(extended.stx_dev_major, extended.stx_dev_minor);
  return true;
}

}  // namespace

BOOL WINAPI GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
  return Guarded(FALSE, [&]() -> BOOL {
    if (!lpFileInformation) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    auto file = FindFile(hFile);
    if (!file) return Fail(ERROR_INVALID_HANDLE, FALSE);
    struct stat info;
    if (!StatWithoutTimes(file->Fd(), info)) return Fail(Win32ErrorFromErrno(errno), FALSE);
    BY_HANDLE_FILE_INFORMATION result{};
    result.dwFileAttributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    if ((info.st_mode & 0222) == 0) result.dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
    const uint64_t device = static_cast<uint64_t>(info.st_dev);
    result.dwVolumeSerialNumber = static_cast<DWORD>(device ^ (device >> 32));
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    result.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    result.nFileSizeLow = static_cast<DWORD>(size);
    result.nNumberOfLinks = static_cast<DWORD>(info.st_nlink);
    const uint64_t inode = static_cast<uint64_t>(info.st_ino);
    result.nFileIndexHigh = static_cast<DWORD>(inode >> 32);
    result.nFileIndexLow = static_cast<DWORD>(inode);
    *lpFileInformation = result;
    return TRUE;
  });
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  return Guarded(INVALID_FILE_SIZE, [&]() -> DWORD {
    auto file = FindFile(hFile);
    if (!file) return Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
    struct stat info;
    if (fstat(file->Fd(), &info) != 0) return Fail(Win32ErrorFromErrno(errno), INVALID_FILE_SIZE);
    uint64_t size = static_cast<uint64_t>(info.st_size);
    if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
  });
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, void* lpOverlapped) {
  return Guarded(FALSE, [&]() -> BOOL {
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
    if (lpOverlapped || (!lpBuffer && nNumberOfBytesToWrite))
      return Fail(ERROR_INVALID_PARAMETER, FALSE);  // no asynchronous writes here
    auto file = FindFile(hFile);
    if (!file) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!file->CanWrite()) return Fail(ERROR_ACCESS_DENIED, FALSE);
    const char* bytes = static_cast<const char*>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToWrite) {
      ssize_t wrote = write(file->Fd(), bytes + done, nNumberOfBytesToWrite - done);
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote <= 0) {
        if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
        const DWORD status = wrote < 0 ? Win32ErrorFromErrno(errno) : static_cast<DWORD>(ERROR_DISK_FULL);
        qv::NoteFailedHostPath(file->HostPath(), status);  // a failure reported next names the file
        return Fail(status, FALSE);
      }
      done += static_cast<DWORD>(wrote);
    }
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
    return TRUE;
  });
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, void* lpOverlapped) {
  return Guarded(FALSE, [&]() -> BOOL {
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
    if (lpOverlapped || (!lpBuffer && nNumberOfBytesToRead))
      return Fail(ERROR_INVALID_PARAMETER, FALSE);
    auto file = FindFile(hFile);
    if (!file) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!file->CanRead()) return Fail(ERROR_ACCESS_DENIED, FALSE);
    char* bytes = static_cast<char*>(lpBuffer);
    DWORD done = 0;
    // A file read returns all that was asked for unless the end comes first (TRUE, fewer bytes).
    while (done < nNumberOfBytesToRead) {
      ssize_t got = read(file->Fd(), bytes + done, nNumberOfBytesToRead - done);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
        return Fail(Win32ErrorFromErrno(errno), FALSE);
      }
      if (got == 0) break;
      done += static_cast<DWORD>(got);
    }
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
    return TRUE;
  });
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
  return Guarded(FALSE, [&]() -> BOOL {
    auto file = FindFile(hFile);
    if (!file) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!file->CanWrite()) return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (fsync(file->Fd()) != 0) return Fail(Win32ErrorFromErrno(errno), FALSE);
    return TRUE;
  });
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  return Guarded(FALSE, [&]() -> BOOL {
    // Files first: they are closed once per WritePort. The synchronisation service keeps its
    // mutex handles in a table of its own.
    if (HandleTable::Instance().Remove(hObject)) return TRUE;
    if (qv::CloseSyncHandle(hObject)) return TRUE;
    return Fail(ERROR_INVALID_HANDLE, FALSE);
  });
}
