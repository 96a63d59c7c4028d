#include <qv/status_text.h>
#include <winbase.h>

#include <cstdio>

namespace qv {

std::string StatusText(DWORD code) {
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, 0, text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  if (message.empty()) {
    std::snprintf(text, sizeof text, "Error %u.", static_cast<unsigned>(code));
    message = text;
  }
  return message;
}

}  // namespace qv
