#include "StatusText.h"

#include "Command.h"

#include <windows.h>

namespace qv::cli {

std::string StatusText(DWORD status) {
  char buffer[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, status, 0,
                                buffer, sizeof buffer, nullptr);
  if (length == 0) return "status " + std::to_string(status);
  std::string text(buffer, length);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

void FailWithStatus(const std::string& what, DWORD status) { throw Failure(what + ": " + StatusText(status)); }

}  // namespace qv::cli
