// Windows paths onto host paths through the drive table in the registry.
#include <qv/paths.h>
#include <qv/registry_store.h>
#include <qv/utf.h>
#include <winreg.h>

#include <string>
#include <vector>

namespace qv {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char UpperDrive(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The host folder of drive `letter` (upper case), without a trailing "/" ("" for "/").
DWORD DriveFolder(char letter, std::string& folder) {
  // The drive table's value in one registry read.
  RegistryValue value;
  LSTATUS status = ReadRegistryValue(HKEY_LOCAL_MACHINE, kDosDevicesKey, std::string{letter, ':'}, value);
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_PATH_NOT_FOUND;
  if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
  std::u16string text;
  if (!RegistryText(value, text)) return ERROR_PATH_NOT_FOUND;
  std::string mapped = ToUtf8(text);
  // A drive must name an absolute host folder; anything else counts as unmapped.
  if (mapped.empty() || mapped[0] != '/') return ERROR_PATH_NOT_FOUND;
  while (!mapped.empty() && mapped.back() == '/') mapped.pop_back();
  folder = std::move(mapped);
  return ERROR_SUCCESS;
}

// Appends the elements of `rest` to `host`, one "/" before each; refuses "." and "..", which
// could lead a name taken from a job outside the folder its template names.
DWORD AppendElements(std::string_view rest, std::string& host) {
  std::string::size_type pos = 0;
  while (pos < rest.size()) {
    if (IsSeparator(rest[pos])) {
      ++pos;
      continue;
    }
    std::string::size_type end = pos;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    std::string_view element = rest.substr(pos, end - pos);
    if (element == "." || element == "..") return ERROR_INVALID_NAME;
    host += '/';
    host += element;
    pos = end;
  }
  return ERROR_SUCCESS;
}

}  // namespace

DWORD MapWindowsPath(std::string_view windowsPath, std::string& hostPath) {
  if (windowsPath.empty()) return ERROR_PATH_NOT_FOUND;
  if (windowsPath.find('\0') != std::string_view::npos) return ERROR_INVALID_NAME;
  if (windowsPath.size() >= 2 && IsSeparator(windowsPath[0]) && IsSeparator(windowsPath[1]))
    return ERROR_BAD_PATHNAME;  // \\server\share\... and \\?\...

  bool hostAbsolute = windowsPath[0] == '/';
  bool drive = windowsPath.size() >= 3 && IsDriveLetter(windowsPath[0]) && windowsPath[1] == ':' &&
               IsSeparator(windowsPath[2]);
  std::string_view rest = windowsPath.substr(hostAbsolute ? 1 : drive ? 3 : 0);

  // Elements are checked first, so a path with "." or ".." is refused whatever its root.
  std::string elements;
  if (DWORD status = AppendElements(rest, elements)) return status;
  // Everything else is relative: to the working directory, to a drive's current folder
  // ("C:x") or to the current drive's root ("\x"). None of those is resolved here.
  if (!hostAbsolute && !drive) return ERROR_PATH_NOT_FOUND;

  std::string host;
  if (drive) {
    if (DWORD status = DriveFolder(UpperDrive(windowsPath[0]), host)) return status;
  }
  host += elements;
  if (host.empty() || IsSeparator(windowsPath.back())) host += '/';
  hostPath = std::move(host);
  return ERROR_SUCCESS;
}

}  // namespace qv
