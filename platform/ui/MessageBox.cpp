#include <qv/utf.h>
#include <winuser.h>

#include <cstdio>
#include <string>

// Without a toolkit to draw it, a message box is told on standard error: caption, then text,
// and answered with its default button at once, so that no caller ever waits for a user who
// is not there.
namespace {

std::string OneBlock(std::string text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;  // CR LF -> LF
    out += text[i];
  }
  return out;
}

int DefaultAnswer(UINT type) {
  switch (type & 0x0F) {
    case MB_YESNO:
      return IDYES;
    default:
      return IDOK;
  }
}

int Tell(const std::string& caption, const std::string& text, UINT type) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), OneBlock(text).c_str());
  std::fflush(stderr);
  return DefaultAnswer(type);
}

}  // namespace

extern "C" int WINAPI MessageBoxW(HWND, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  return Tell(lpCaption ? qv::ToUtf8(lpCaption) : "Error", lpText ? qv::ToUtf8(lpText) : "", uType);
}

extern "C" int WINAPI MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  return Tell(lpCaption ? lpCaption : "Error", lpText ? lpText : "", uType);
}
