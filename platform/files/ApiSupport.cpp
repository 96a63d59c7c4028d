#include "ApiSupport.h"

#include <qv/paths.h>
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

}  // namespace qv::files
