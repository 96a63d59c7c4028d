// One temporary job file, "DRN....tmp" in the process's temporary folder. The file exists as
// long as its owner: destroying (or replacing) the owner deletes it.
#pragma once
#include <windows.h>

#include <string>
#include "win/WideString.h"

namespace Quorvane {

class TempFile {
 public:
  TempFile() = default;
  ~TempFile();
  TempFile(TempFile&& other) noexcept;
  TempFile& operator=(TempFile&& other) noexcept;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Reserves a new, empty file (giving up any earlier one). No temporary folder or no free
  // name leaves the path empty.
  void Create();

  // Appends `count` bytes: one open for appending, one write, one close. Returns 0 or the
  // system error code of the step that failed. The open follows no link and must reach the
  // very file Create made: one removed or replaced since is not written (ERROR_FILE_INVALID).
  DWORD Append(const BYTE* bytes, DWORD count) const;

  // The full path; empty when no file is owned.
  const win::WideString& Path() const { return path_; }

 private:
  void Delete() noexcept;

  // The file that Create made, by volume and file index: an append reaches that file or none.
  struct Identity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool known = false;
    bool operator==(const Identity&) const = default;
  };
  static Identity IdentityOf(HANDLE file);

  win::WideString path_;
  Identity identity_;
};

}  // namespace Quorvane
