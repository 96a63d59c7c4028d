#include "ApiSupport.h"

#include <qv/diagnostics.h>
#include <qv/paths.h>
#include <qv/status_text.h>
#include <qv/utf.h>

namespace qv::files {

bool HostPathFromArgument(LPCSTR path, std::string& hostPath) {
  DWORD status = MapWindowsPath(path ? std::string_view(path) : std::string_view(), hostPath);
  if (status != ERROR_SUCCESS) SetLastError(status);
  return status == ERROR_SUCCESS;
}

bool HostPathFromArgument(LPCWSTR path, std::string& hostPath) {
  std::string utf8 = path ? ToUtf8(path) : std::string();
  return HostPathFromArgument(utf8.c_str(), hostPath);
}

std::string WhyUnmapped(std::string_view path, DWORD status) {
  auto isSeparator = [](char c) { return c == '\\' || c == '/'; };
  if (path.empty()) return "the path is empty";
  if (status == ERROR_BAD_PATHNAME) return "network paths (\\\\server\\share) are not supported";
  if (status == ERROR_INVALID_NAME) return "a path may not hold \".\" or \"..\" elements";
  const bool drive = path.size() >= 2 && path[1] == ':' &&
                     ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (drive && path.size() >= 3 && isSeparator(path[2]) && status == ERROR_PATH_NOT_FOUND) {
    char letter = path[0] >= 'a' ? static_cast<char>(path[0] - 'a' + 'A') : path[0];
    return std::string("drive ") + letter + ": is not mapped to a folder (\"quorvane drive " + letter +
           ": DIR\" maps it)";
  }
  if (status == ERROR_PATH_NOT_FOUND)
    return "not an absolute path: it needs a drive (C:\\...) or must start with /";
  return StatusText(status);
}

bool NotedHostPathFromArgument(LPCSTR path, std::string& hostPath) {
  NoteFailedHostPath({}, 0);
  std::string_view text = path ? std::string_view(path) : std::string_view();
  DWORD status = MapWindowsPath(text, hostPath);
  if (status == ERROR_SUCCESS) return true;
  NoteUnmappedPath(WhyUnmapped(text, status));
  SetLastError(status);
  return false;
}

bool NotedHostPathFromArgument(LPCWSTR path, std::string& hostPath) {
  std::string utf8 = path ? ToUtf8(path) : std::string();
  return NotedHostPathFromArgument(utf8.c_str(), hostPath);
}

}  // namespace qv::files
