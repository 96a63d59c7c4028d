// The temporary folder and unique temporary file names.
#include <winbase.h>

#include "ApiSupport.h"
#include "ErrnoMapping.h"
#include "Litter.h"
#include "UniqueFd.h"

#include <qv/diagnostics.h>
#include <qv/paths.h>
#include <qv/utf.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

using qv::files::Fail;
using qv::files::Guarded;

namespace {

constexpr UINT kLargestNumber = 0xFFFF;  // temporary names carry 16-bit numbers, as on Windows

// TMPDIR when it names an absolute folder we accept, else /tmp; always with a trailing "/".
std::string TemporaryFolder() {
  const char* configured = std::getenv("TMPDIR");
  std::string folder;
  if (!configured || configured[0] != '/' ||
      qv::MapWindowsPath(configured, folder) != ERROR_SUCCESS)
    folder = "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
}

// Numbers for new names, shared by every thread. A process starts at a number of its own so
// that processes rarely meet; exclusive creation settles it when they do. Consecutive calls
// take consecutive numbers, so a name just given out is not tried again soon.
UINT NextCandidate() {
  static std::atomic<uint32_t> next{static_cast<uint32_t>(
      static_cast<uint32_t>(getpid()) * 2654435761u ^
      static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()))};
  return next.fetch_add(1) % kLargestNumber + 1;  // 1 .. 0xFFFF: 0 means failure to callers
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// "<folder><separator><prefix><HEX>.tmp" as the caller wrote the folder: a drive path gets "\",
// a host path "/", a folder that already ends in a separator none.
class TempName {
 public:
  TempName(std::string folder, std::string prefix) : prefix_(std::move(prefix)) {
    bool drive = folder.size() >= 2 && folder[1] == ':';
    if (!folder.empty() && !IsSeparator(folder.back())) folder += drive ? '\\' : '/';
    folder_ = std::move(folder);
  }
  std::string Leaf(UINT number) const {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", number);
    return prefix_ + hex + ".tmp";
  }
  std::string Full(UINT number) const { return folder_ + Leaf(number); }
  const std::string& Folder() const { return folder_; }
  const std::string& Prefix() const { return prefix_; }

 private:
  std::string folder_;
  std::string prefix_;
};

bool StoreName(const std::string& name, LPWSTR out) {
  std::u16string wide = qv::ToUtf16(name);
  if (wide.size() + 1 > MAX_PATH) return Fail(ERROR_BUFFER_OVERFLOW, false);
  wide.copy(out, wide.size());
  out[wide.size()] = 0;
  return true;
}

UINT CreateUniqueFile(const TempName& name, LPWSTR out) {
  std::string hostFolder;
  if (DWORD status = qv::MapWindowsPath(name.Folder(), hostFolder)) return Fail(status, 0u);
  if (hostFolder.back() != '/') hostFolder += '/';
  if (qv::ToUtf16(name.Full(kLargestNumber)).size() + 1 > MAX_PATH)
    return Fail(ERROR_BUFFER_OVERFLOW, 0u);
  // Files of this prefix that processes which died mid-job left here.
  if (!name.Prefix().empty()) qv::files::SweepTemporaryFiles(hostFolder, name.Prefix());

  for (UINT attempt = 0; attempt < kLargestNumber; ++attempt) {
    UINT number = NextCandidate();
    std::string host = hostFolder + name.Leaf(number);
    // Exclusive creation: a name that exists, whoever made it, is skipped and left alone.
    qv::files::UniqueFd fd(open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!fd.Valid()) {
      if (errno == EEXIST) continue;
      const DWORD status = qv::files::ErrorForPath(errno, host);
      qv::NoteFailedHostPath(host, status);  // a failure reported next names the file
      return Fail(status, 0u);
    }
    if (!StoreName(name.Full(number), out)) {
      unlink(host.c_str());
      return 0;
    }
    // Held until this process deletes it (or ends), so that no sweep takes it meanwhile.
    qv::files::HoldTemporaryFile(host, fd.Release());
    return number;
  }
  return Fail(ERROR_FILE_EXISTS, 0u);
}

}  // namespace

DWORD WINAPI GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
  return Guarded(DWORD{0}, [&]() -> DWORD {
    std::u16string folder = qv::ToUtf16(TemporaryFolder());
    DWORD needed = static_cast<DWORD>(folder.size() + 1);
    if (!lpBuffer || nBufferLength < needed) return needed;  // the size to ask for, terminator included
    folder.copy(lpBuffer, folder.size());
    lpBuffer[folder.size()] = 0;
    return needed - 1;
  });
}

UINT WINAPI GetTempFileNameW(LPCWSTR lpPathName, LPCWSTR lpPrefixString, UINT uUnique,
                             LPWSTR lpTempFileName) {
  return Guarded(0u, [&]() -> UINT {
    if (!lpPathName || !lpTempFileName) return Fail(ERROR_INVALID_PARAMETER, 0u);
    std::u16string prefix = lpPrefixString ? lpPrefixString : WSTR("");
    prefix.resize(std::min<size_t>(prefix.size(), 3));
    std::string prefixText = qv::ToUtf8(prefix);
    // The prefix names part of one file; it may not lead into another folder.
    for (char c : prefixText)
      if (IsSeparator(c)) return Fail(ERROR_INVALID_NAME, 0u);

    TempName name(qv::ToUtf8(lpPathName), prefixText);
    if (uUnique != 0)  // the caller's number: the name only, nothing is created
      return StoreName(name.Full(uUnique), lpTempFileName) ? uUnique : 0u;
    return CreateUniqueFile(name, lpTempFileName);
  });
}
