#include <qv/utf.h>
#include <winbase.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "MessageTable.h"

// Only system texts are offered (FORMAT_MESSAGE_FROM_SYSTEM). Like Windows' own, every text ends
// in CR LF; an unknown code fails with 0 so that callers fall back to texts of their own.
namespace {

constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;

// The finished text for the request, or false with the last error set.
bool SystemText(DWORD flags, DWORD messageId, std::string& text) {
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || (flags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const char* found = qv::SystemMessageText(messageId);
  if (!found) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return false;
  }
  text = found;
  text += "\r\n";
  return true;
}

// Stores `units` (with a terminator) into the caller's buffer, or into a new one the caller
// frees with LocalFree. Returns the number of units without the terminator, or 0.
template <typename Unit>
DWORD Store(const std::basic_string<Unit>& units, DWORD flags, Unit* buffer, DWORD size) {
  const size_t needed = units.size() + 1;
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    if (!buffer) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    auto* allocated = static_cast<Unit*>(std::malloc(needed * sizeof(Unit)));
    if (!allocated) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    std::memcpy(allocated, units.c_str(), needed * sizeof(Unit));
    *reinterpret_cast<Unit**>(buffer) = allocated;
    return static_cast<DWORD>(units.size());
  }
  if (!buffer || size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, units.c_str(), needed * sizeof(Unit));
  return static_cast<DWORD>(units.size());
}

}  // namespace

extern "C" DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD,
                                       LPWSTR lpBuffer, DWORD nSize, void*) {
  std::string text;
  if (!SystemText(dwFlags, dwMessageId, text)) return 0;
  return Store(qv::ToUtf16(text), dwFlags, lpBuffer, nSize);
}

extern "C" DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD,
                                       LPSTR lpBuffer, DWORD nSize, void*) {
  std::string text;
  if (!SystemText(dwFlags, dwMessageId, text)) return 0;
  return Store(text, dwFlags, lpBuffer, nSize);
}

extern "C" HLOCAL WINAPI LocalFree(HLOCAL hMem) {
  std::free(hMem);
  return nullptr;
}
