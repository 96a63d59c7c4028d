#include <qv/utf.h>
#include <winbase.h>

#include <cstring>

// The 8-bit code page is UTF-8, whichever of CP_ACP and CP_UTF8 the caller names.
namespace {

bool KnownCodePage(UINT codePage) { return codePage == CP_ACP || codePage == CP_UTF8; }

// Copies `count` units into the caller's buffer following the two-call size protocol:
// a buffer size of 0 asks for the size; a short buffer fails with ERROR_INSUFFICIENT_BUFFER.
template <typename Unit>
int Deliver(const Unit* data, size_t count, Unit* buffer, int bufferUnits) {
  if (count > 0x7FFFFFFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (bufferUnits == 0) return static_cast<int>(count);
  if (static_cast<size_t>(bufferUnits) < count) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, data, count * sizeof(Unit));
  return static_cast<int>(count);
}

}  // namespace

extern "C" int WINAPI MultiByteToWideChar(UINT CodePage, DWORD, LPCSTR lpMultiByteStr,
                                          int cbMultiByte, LPWSTR lpWideCharStr, int cchWideChar) {
  if (!KnownCodePage(CodePage) || !lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 ||
      cchWideChar < 0 || (cchWideChar > 0 && !lpWideCharStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // -1: the text is null-terminated and the terminator is converted too.
  const size_t length = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : cbMultiByte;
  const std::u16string wide = qv::ToUtf16(std::string_view(lpMultiByteStr, length));
  return Deliver(wide.data(), wide.size(), lpWideCharStr, cchWideChar);
}

extern "C" int WINAPI WideCharToMultiByte(UINT CodePage, DWORD, LPCWSTR lpWideCharStr,
                                          int cchWideChar, LPSTR lpMultiByteStr, int cbMultiByte,
                                          LPCSTR, LPBOOL lpUsedDefaultChar) {
  if (!KnownCodePage(CodePage) || !lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 ||
      cbMultiByte < 0 || (cbMultiByte > 0 && !lpMultiByteStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (lpUsedDefaultChar) *lpUsedDefaultChar = FALSE;
  const size_t length =
      cchWideChar == -1 ? std::char_traits<char16_t>::length(lpWideCharStr) + 1 : cchWideChar;
  const std::string narrow = qv::ToUtf8(std::u16string_view(lpWideCharStr, length));
  return Deliver(narrow.data(), narrow.size(), lpMultiByteStr, cbMultiByte);
}

extern "C" int WINAPI lstrlenW(LPCWSTR lpString) {
  return lpString ? static_cast<int>(std::char_traits<char16_t>::length(lpString)) : 0;
}
