#include "TempFile.h"

#include <utility>

#include <qv/macros.h>

namespace Quorvane {

namespace {

// Closes the file it was given, whatever happened to it.
class OpenedFile {
 public:
  explicit OpenedFile(HANDLE handle) : handle_(handle) {}
  ~OpenedFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// The last error, never 0: a failed call that set none still fails.
DWORD LastErrorOr(DWORD fallback) {
  const DWORD error = GetLastError();
  return error ? error : fallback;
}

}  // namespace

TempFile::~TempFile() { Delete(); }

TempFile::TempFile(TempFile&& other) noexcept : path_(std::exchange(other.path_, {})) {}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    Delete();
    path_ = std::exchange(other.path_, {});
  }
  return *this;
}

void TempFile::Create() {
  Delete();
  WCHAR directory[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, directory);
  if (length == 0 || length > MAX_PATH) return;
  WCHAR name[MAX_PATH + 1];
  if (GetTempFileNameW(directory, WSTR("DRN"), 0, name) == 0) return;
  path_ = name;
}

DWORD TempFile::Append(const BYTE* bytes, DWORD count) const {
  if (count == 0) return 0;
  if (!bytes) return ERROR_INVALID_PARAMETER;
  if (path_.empty()) return ERROR_PATH_NOT_FOUND;
  OpenedFile file(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return LastErrorOr(ERROR_OPEN_FAILED);
  // With the high part asked for, a job may grow past 4 GiB; the low part alone may then be
  // INVALID_SET_FILE_POINTER, so the last error tells failure.
  LONG high = 0;
  SetLastError(NO_ERROR);
  if (SetFilePointer(file.get(), 0, &high, FILE_END) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR)
    return GetLastError();
  DWORD written = 0;
  if (!WriteFile(file.get(), bytes, count, &written, nullptr)) return LastErrorOr(ERROR_WRITE_FAULT);
  if (written != count) return ERROR_WRITE_FAULT;
  return 0;
}

void TempFile::Delete() noexcept {
  if (path_.empty()) return;
  DeleteFileW(path_.c_str());  // nothing to do if it fails: the file was ours and is let go
  path_.clear();
}

}  // namespace Quorvane
