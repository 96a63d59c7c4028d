#include "TempFile.h"

#include <utility>

#include "win/UniqueResource.h"

#include <qv/macros.h>

namespace Quorvane {

namespace {

// The last error, never 0: a failed call that set none still fails.
DWORD LastErrorOr(DWORD fallback) {
  const DWORD error = GetLastError();
  return error ? error : fallback;
}

}  // namespace

TempFile::~TempFile() { Delete(); }

TempFile::TempFile(TempFile&& other) noexcept
    : path_(std::exchange(other.path_, {})), identity_(std::exchange(other.identity_, {})) {}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    Delete();
    path_ = std::exchange(other.path_, {});
    identity_ = std::exchange(other.identity_, {});
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
  const win::UniqueHandle file(CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  identity_ = IdentityOf(file.Get());
}

TempFile::Identity TempFile::IdentityOf(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (file == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file, &info)) return {};
  return {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow, true};
}

DWORD TempFile::Append(const BYTE* bytes, DWORD count) const {
  if (count == 0) return 0;
  if (!bytes) return ERROR_INVALID_PARAMETER;
  if (path_.empty()) return ERROR_PATH_NOT_FOUND;
  // Whoever can write the temporary folder could swap the name for a link or another file in
  // between two writes: such a name is never followed, nor a new file made under it. Opened for
  // appending only, so every write lands at the file's end: no seek, and a job may grow past
  // 4 GiB.
  const win::UniqueHandle file(CreateFileW(path_.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) return LastErrorOr(ERROR_OPEN_FAILED);
  const Identity opened = IdentityOf(file.Get());
  if (!opened.known || !identity_.known || !(opened == identity_)) return ERROR_FILE_INVALID;
  DWORD written = 0;
  if (!WriteFile(file.Get(), bytes, count, &written, nullptr)) return LastErrorOr(ERROR_WRITE_FAULT);
  if (written != count) return ERROR_WRITE_FAULT;
  return 0;
}

void TempFile::Delete() noexcept {
  if (path_.empty()) return;
  DeleteFileW(path_.c_str());  // nothing to do if it fails: the file was ours and is let go
  path_.clear();
  identity_ = {};
}

}  // namespace Quorvane
